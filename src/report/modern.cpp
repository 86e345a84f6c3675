// The section tables and chart images of the modern pages (pagestyle modern). The ranked,
// time, totals, result-code, trail and visit sections write their markup through these
// helpers instead of the classic table resources: classes only, no presentational
// attributes. The column names still come from each section's heading resource (the
// texts of its header cells), so replaced or translated headings carry over.
//
// Classes the stylesheet styles:
//   table-wrap  the <div> around every section table; it scrolls sideways when the table
//               is wider than the screen, so the table itself keeps display: table
//   num         a number cell, <td> or <th> (header cells of number columns too):
//               right-aligned, tabular figures, no wrapping
//   share       a share-of-the-whole cell ("75.0%"); always together with num
//   key         a cell of text from the log that can be long (URLs, user agents, trails,
//               referring pages): wraps anywhere
//   chart       every chart image of a section; with chart-pie (a ranked section's pie,
//               200 x 200) or chart-bars (hours and days, 400 x 300)
//   empty       the one-line paragraph of a ranked section with nothing to list
// Header cells carry scope="col"; the cell that names a row (the key of a ranked row, the
// hour, the date, the result code, the item) is a <th scope="row">.
#include <cstring>

#include "config/global.h"
#include "core/chars.h"
#include "core/commas.h"
#include "core/mem.h"
#include "report/report.h"

// The widest a chart is shown; a wider one is scaled down with its shape kept.
constexpr int MAX_CHART_WIDTH = 400;

// The class attribute of a column kind, or null for plain text.
static const char *kindClass(char kind) {
    switch (charLower(static_cast<unsigned char>(kind))) {
        case 'n':
            return "num";
        case 's':
            return "num share";
        case 'k':
            return "key";
        default:
            return nullptr;
    }
}

// True when text begins with the tag name (in any case) followed by the end of the name.
static bool tagAt(const char *text, const char *name) {
    std::size_t length = std::strlen(name);
    for (std::size_t i = 0; i < length; i++)
        if (charLower(static_cast<unsigned char>(text[i])) != name[i]) return false;
    unsigned char after = static_cast<unsigned char>(text[length]);
    return after == '>' || after == '/' || charIsSpace(after);
}

// The next header cell of a heading text from p on: its content and length. A cell ends
// at its "</th>", at the next "<th" or at "</tr>", whichever comes first.
static bool nextHeadingCell(const char *&p, const char **content, std::size_t *length) {
    const char *open = p;
    while ((open = std::strchr(open, '<')) != nullptr && !tagAt(open + 1, "th")) open++;
    if (!open) return false;
    const char *start = std::strchr(open, '>');
    if (!start) return false;
    start++;
    const char *end = start;
    while ((end = std::strchr(end, '<')) != nullptr && !tagAt(end + 1, "/th") &&
           !tagAt(end + 1, "th") && !tagAt(end + 1, "/tr"))
        end++;
    if (!end) end = start + std::strlen(start);
    while (start < end && charIsSpace(static_cast<unsigned char>(*start))) start++;
    const char *last = end;
    while (last > start && charIsSpace(static_cast<unsigned char>(last[-1]))) last--;
    *content = start;
    *length = static_cast<std::size_t>(last - start);
    p = end;
    return true;
}

void modernTableOpen(FILE *page, int heading, const char *columns) {
    std::fputs("<div class=\"table-wrap\"><table>\n<thead><tr>", page);
    const char *text = heading >= 0 && heading < TEXT_RESOURCE_COUNT ? textResource(heading) : "";
    const char *p = text ? text : "";
    for (const char *c = columns; *c; c++) {
        const char *klass = kindClass(*c);
        std::fputs("<th scope=\"col\"", page);
        if (klass) std::fprintf(page, " class=\"%s\"", klass);
        std::fputs(">", page);
        const char *content;
        std::size_t length;
        // The share column is this style's own; every other one takes the next cell.
        if (charLower(static_cast<unsigned char>(*c)) == 's')
            resourceWrite(page, HTMLSHARECOLUMN);
        else if (nextHeadingCell(p, &content, &length))
            std::fwrite(content, 1, length, page);
        std::fputs("</th>", page);
    }
    std::fputs("</tr></thead>\n<tbody>\n", page);
}

void modernTableClose(FILE *page) {
    std::fputs("</tbody></table></div>\n", page);
}

void modernCellOpen(FILE *page, char kind) {
    const char *klass = kindClass(kind);
    if (charIsUpper(static_cast<unsigned char>(kind)))
        std::fputs("<th scope=\"row\"", page);
    else
        std::fputs("<td", page);
    if (klass) std::fprintf(page, " class=\"%s\"", klass);
    std::fputs(">", page);
}

void modernCellClose(FILE *page, char kind) {
    std::fputs(charIsUpper(static_cast<unsigned char>(kind)) ? "</th>" : "</td>", page);
}

void modernNumberCell(FILE *page, double value, int decimals) {
    modernCellOpen(page, 'n');
    modernNumber(page, value, decimals);
    modernCellClose(page, 'n');
}

void modernShareCell(FILE *page, double part, double whole) {
    modernCellOpen(page, 's');
    htmlShare(page, part, whole);
    modernCellClose(page, 's');
}

void modernNumber(FILE *page, double value, int decimals) {
    if (decimals <= 0) {
        htmlNumber(page, value);
        return;
    }
    // resourceFormat groups the integer part of a "'" conversion as Commas does.
    char format[16];
    std::snprintf(format, sizeof format, "%%'.%df", decimals > 9 ? 9 : decimals);
    resourceFormat(page, format, "f", value);
}

// The template with every conversion grouping thousands ("%d" becomes "%'d"); "%%" stays.
static char *groupedTemplate(const char *format) {
    std::size_t length = std::strlen(format);
    char *grouped = static_cast<char *>(xmalloc(2 * length + 1));
    std::size_t at = 0;
    for (const char *p = format; *p; p++) {
        grouped[at++] = *p;
        if (*p != '%') continue;
        if (p[1] == '%') {
            grouped[at++] = *++p;
            continue;
        }
        if (p[1] != '\0') grouped[at++] = '\'';
    }
    grouped[at] = '\0';
    return grouped;
}

void modernCountLabel(FILE *page, int resource, int shown, int count) {
    if (resource < 0 || resource >= TEXT_RESOURCE_COUNT || !textResource(resource)) return;
    char *grouped = groupedTemplate(textResource(resource));
    resourceFormat(page, grouped, "dd", shown, count);
    myfree(grouped);
}

void modernFigure(FILE *page, int resource, char kind, double value) {
    if (resource < 0 || resource >= TEXT_RESOURCE_COUNT || !textResource(resource)) return;
    char *grouped = groupedTemplate(textResource(resource));
    if (kind == 'd')
        resourceFormat(page, grouped, "d", static_cast<int>(value));
    else
        resourceFormat(page, grouped, "f", value);
    myfree(grouped);
}

void modernEmpty(FILE *page, int resource) {
    std::fputs("<p class=\"empty\">", page);
    resourceWrite(page, resource);
    std::fputs("</p>\n", page);
}

// The text of a label resource for an attribute: tags left out, blanks collapsed, quotes
// and angle brackets escaped. Entities stay as the label writes them. Whether it wrote any.
static bool attributeText(FILE *page, const char *text) {
    bool blank = false, any = false;
    for (const char *p = text ? text : ""; *p; p++) {
        if (*p == '<') {
            const char *close = std::strchr(p, '>');
            if (!close) break;
            p = close;
            blank = any;
            continue;
        }
        if (charIsSpace(static_cast<unsigned char>(*p))) {
            blank = any;
            continue;
        }
        if (blank) std::fputc(' ', page);
        blank = false;
        any = true;
        if (*p == '"')
            std::fputs("&quot;", page);
        else if (*p == '>')
            std::fputs("&gt;", page);
        else
            std::fputc(*p, page);
    }
    return any;
}

void modernChartImage(FILE *page, const char *name, int pie, int label) {
    std::fprintf(page, "<img class=\"chart %s\" src=\"", pie ? "chart-pie" : "chart-bars");
    htmlEscapeUrl(page, name);
    std::fputs("\" alt=\"", page);
    if (attributeText(page, textResource(pie ? HTMLPIECHARTALT : HTMLBARCHARTALT)))
        std::fputc(' ', page);
    if (label >= 0 && label < TEXT_RESOURCE_COUNT) attributeText(page, textResource(label));
    // The size the chart was drawn in keeps its shape on the page before it has loaded;
    // the GIF's sizes stand in for a chart whose size is unknown.
    int width, height;
    chartSvgSize(&width, &height);
    if (width <= 0 || height <= 0) {
        width = pie ? 200 : 400;
        height = pie ? 200 : 300;
    }
    if (width > MAX_CHART_WIDTH) {
        height = static_cast<int>((static_cast<long long>(height) * MAX_CHART_WIDTH + width / 2) /
                                  width);
        width = MAX_CHART_WIDTH;
    }
    std::fprintf(page, "\" width=\"%d\" height=\"%d\">\n", width, height);
}
