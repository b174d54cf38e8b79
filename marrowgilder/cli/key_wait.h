// Waiting for one key press at the console.
#pragma once

namespace marrowgilder::cli {

// Returns the character of the key pressed; for a function, cursor or editing
// key, its prefix (0 or 0xE0), keeping its second code for the next call,
// which then returns it without waiting. Returns kEndOfInput at once when the
// console cannot be read.
int WaitForKey();

}  // namespace marrowgilder::cli
