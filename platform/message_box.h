// A warning box with one OK button: it holds the run until it is dismissed.
#pragma once

void ShowMessageBox(const char* text, const char* title);
