// Console prompts shared by both programs.
#pragma once

#include "core/exit.h"

constexpr int UI_ANSWER_SIZE = 1024;
// A count of "all": the answer ALL of GetIntOrAll, and the argument "all" of a count setting.
constexpr int COUNT_ALL = -2;

void GetString(const char *prompt, const char *defaultText, char *answer);
int Confirm(const char *prompt, int defaultYes);
void GetIntOrAll(const char *prompt, int defaultValue, int *out);
