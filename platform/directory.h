// Directory creation. The outcome is not needed: a directory that cannot be
// made shows later, when the entry's file cannot be created.
#pragma once

void CreateDirectoryAt(const char* path);
