// Console prompts shared by both programs, and the one exit path of the programs.
#pragma once

constexpr int UI_ANSWER_SIZE = 1024;

void GetString(const char *prompt, const char *defaultText, char *answer);
int Confirm(const char *prompt, int defaultYes);
void GetIntOrAll(const char *prompt, int defaultValue, int *out);

// Flushes the standard streams and ends the program; the only caller of exit.
[[noreturn]] void MyExit(int status);
