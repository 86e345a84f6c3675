// Console prompts shared by both programs.
// Questions and retry hints go to standard output, which is flushed before each read.
#include "console/ui.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "console/strhack.h"
#include "core/chars.h"
#include "core/exit.h"

void GetString(const char *prompt, const char *defaultText, char *answer) {
    if (!prompt) prompt = "";
    if (!defaultText) defaultText = "";
    std::printf("%s\n[%s] ", prompt, defaultText);
    std::fflush(stdout);
    char line[UI_ANSWER_SIZE];
    if (!std::fgets(line, sizeof line, stdin))
        fatal("Session aborted! No configuration file written.\n");
    char *text = line;
    stripSpace(&text);
    std::snprintf(answer, UI_ANSWER_SIZE, "%s", text ? text : defaultText);
}

int Confirm(const char *prompt, int defaultYes) {
    char question[1200];
    std::snprintf(question, sizeof question, "%s (Y or N)", prompt ? prompt : "");
    char answer[UI_ANSWER_SIZE];
    for (;;) {
        GetString(question, defaultYes ? "Y" : "N", answer);
        convertLower(answer);
        if (answer[0] == 'y') return 1;
        if (answer[0] == 'n') return 0;
        std::printf("Please enter Y or N (for Yes or No).\n");
    }
}

// A number too large for an int is asked again rather than stored wrapped.
void GetIntOrAll(const char *prompt, int defaultValue, int *out) {
    char shown[16];
    if (defaultValue == COUNT_ALL)
        std::snprintf(shown, sizeof shown, "ALL");
    else
        std::snprintf(shown, sizeof shown, "%d", defaultValue);
    char answer[UI_ANSWER_SIZE];
    for (;;) {
        GetString(prompt, shown, answer);
        convertLower(answer);
        if (std::strcmp(answer, "all") == 0) {
            if (out) *out = COUNT_ALL;
            return;
        }
        if (charIsDigit(static_cast<unsigned char>(answer[0]))) {
            long long number = 0;
            const char *digit = answer;
            for (; charIsDigit(static_cast<unsigned char>(*digit)) && number <= INT_MAX; digit++)
                number = number * 10 + (*digit - '0');
            if (number <= INT_MAX) {
                if (out) *out = static_cast<int>(number);
                return;
            }
        }
        std::printf("Please enter a whole number or ALL.\n");
    }
}
