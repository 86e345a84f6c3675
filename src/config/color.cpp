// Chart colours and domain groups: the colour parser with its checks and default
// tables, and the merge of "domaingroups" lines by group name.
#include "config/color.h"

#include <cstring>

#include "config/global.h"
#include "console/strhack.h"
#include "core/chars.h"
#include "core/mem.h"

const char *const chartDefaultBarColors[CHART_DEFAULT_BAR_COLORS] = {
    "#9370db", "#8b2626", "#008b8b", "#808080", "#40e0d0", "#606096", "#cd5c5c", "#b03060",
};

const char *const pieDefaultSliceColors[PIE_DEFAULT_SLICE_COLORS] = {
    "#FF0000", "#00FF00", "#0000FF", "#FFFF00", "#00FFFF", "#FF00FF",
    "#FF8080", "#80FF80", "#8080FF", "#FFFF80", "#80FFFF", "#FF80FF",
};

namespace {

[[noreturn]] void badColor(const char *keyword, const char *text) {
    configError(
        "Error in %s option: %s is not a valid color.\nColors should be specified in "
        "#RRGGBB format\n(the same format used in HTML).\n",
        keyword, text);
}

}  // namespace

int parseColor(const char *text, int *red, int *green, int *blue) {
    if (!text) return 0;
    if (*text == '#') text++;
    if (std::strlen(text) != 6) return 0;
    int value[3];
    for (int i = 0; i < 3; i++) {
        int high = charHexValue(static_cast<unsigned char>(text[2 * i]));
        int low = charHexValue(static_cast<unsigned char>(text[2 * i + 1]));
        if (high < 0 || low < 0) return 0;
        value[i] = high * 16 + low;
    }
    *red = value[0];
    *green = value[1];
    *blue = value[2];
    return 1;
}

void readColor(char **slot, const char *keyword, const char *argument) {
    simpleString(slot, keyword, argument);
    int red, green, blue;
    if (!parseColor(*slot, &red, &green, &blue)) badColor(keyword, *slot);
}

void readColorArray(FILE *file, StringArray &list, const char *keyword) {
    readStringArray(file, list, keyword);
    int red, green, blue;
    for (int i = 0; i < list.count; i++)
        if (!parseColor(list.items[i], &red, &green, &blue)) badColor(keyword, list.items[i]);
}

void domainGroupsAdjust() {
    StringArray &groups = domainGroups;
    int k = 0;
    while (k < groups.count) {
        char *entry = groups.items[k];
        convertLower(entry);
        for (char *p = entry; *p; p++)
            if (*p == '\t') *p = ' ';
        std::size_t nameLength = std::strcspn(entry, " ");
        int i = 0;
        for (; i < k; i++) {
            const char *other = groups.items[i];
            if (std::strcspn(other, " ") == nameLength &&
                std::memcmp(other, entry, nameLength) == 0)
                break;
        }
        if (i == k) {
            k++;
            continue;
        }
        // The later line comes first, then the members the earlier one had.
        const char *members = groups.items[i] + std::strcspn(groups.items[i], " ");
        std::size_t size = std::strlen(entry) + std::strlen(members) + 1;
        char *merged = static_cast<char *>(xmalloc(size));
        std::snprintf(merged, size, "%s%s", entry, members);
        myfree(groups.items[i]);
        groups.items[i] = merged;
        myfree(entry);
        std::memmove(&groups.items[k], &groups.items[k + 1],
                     static_cast<std::size_t>(groups.count - k - 1) * sizeof(char *));
        groups.count--;
        groups.items[groups.count] = nullptr;
    }
}
