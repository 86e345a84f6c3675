// SVG forms of the value charts and pies: flat bars or lines over a value axis with round
// ticks, point labels, a title and a legend; pies with a legend of labels and shares.
// Everything is written with fixed precision by integer arithmetic, so the same figures
// give the same bytes whatever the locale. The backgrounds stay transparent as in the
// GIFs; in a dark colour scheme the document's own style gives it a dark background with
// light texts and lines.
#include "chart/svg.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "chart/chart.h"
#include "config/color.h"
#include "config/global.h"

namespace {

// ---- Numbers ----

// Groups of three digits separated by ",".
void appendGrouped(std::string &out, unsigned long long whole) {
    char digits[32];
    int length = std::snprintf(digits, sizeof digits, "%llu", whole);
    for (int i = 0; i < length; i++) {
        if (i > 0 && (length - i) % 3 == 0) out += ',';
        out += digits[i];
    }
}

// A value with thousands separators and the given number of decimals (at most 6);
// trailing zero decimals are dropped when trim is set, and 0 is always "0". Values of
// 1e15 and more, or below 1e-4, are written as a mantissa and a power of ten
// ("2.5e18"); what is not finite is written as 0.
std::string numberText(double value, int decimals, bool trim) {
    std::string out;
    if (!std::isfinite(value)) value = 0.0;
    double magnitude = std::fabs(value);
    if (magnitude == 0.0) return "0";
    if (decimals < 0) decimals = 0;
    if (decimals > 6) decimals = 6;
    if (magnitude >= 1e15 || magnitude < 1e-4) {
        int exponent = static_cast<int>(std::floor(std::log10(magnitude)));
        long long hundredths = std::llround(magnitude / std::pow(10.0, exponent) * 100.0);
        if (hundredths >= 1000) {
            hundredths = (hundredths + 5) / 10;
            exponent++;
        }
        if (value < 0) out += '-';
        out += numberText(static_cast<double>(hundredths) / 100.0, 2, true);
        out += 'e';
        out += std::to_string(exponent);
        return out;
    }
    long long scale = 1;
    for (int i = 0; i < decimals; i++) scale *= 10;
    long long scaled = std::llround(magnitude * static_cast<double>(scale));
    if (value < 0 && scaled != 0) out += '-';
    appendGrouped(out, static_cast<unsigned long long>(scaled / scale));
    std::string fraction;
    for (long long rest = scaled % scale, unit = scale / 10; unit > 0; unit /= 10) {
        fraction += static_cast<char>('0' + rest / unit);
        rest %= unit;
    }
    while (trim && !fraction.empty() && fraction.back() == '0') fraction.pop_back();
    if (!fraction.empty()) out += '.' + fraction;
    return out;
}

// A coordinate or length: one decimal, no trailing ".0", within +-1e6.
std::string coord(double value) {
    if (!std::isfinite(value)) value = 0.0;
    if (value > 1e6) value = 1e6;
    if (value < -1e6) value = -1e6;
    long long tenths = std::llround(value * 10.0);
    std::string out;
    if (tenths < 0) {
        out += '-';
        tenths = -tenths;
    }
    char digits[32];
    if (tenths % 10 == 0)
        std::snprintf(digits, sizeof digits, "%lld", tenths / 10);
    else
        std::snprintf(digits, sizeof digits, "%lld.%lld", tenths / 10, tenths % 10);
    return out + digits;
}

// A coordinate rounded as coord() writes it, for lengths between written coordinates.
double tenth(double value) {
    return std::round(value * 10.0) / 10.0;
}

// ---- Text ----

// Reads one UTF-8 character at text[*at] and advances; a byte that begins no valid
// sequence (overlong forms, surrogates and values above U+10FFFF included) reads as
// U+FFFD and advances by one byte.
std::uint32_t nextCodePoint(const unsigned char *text, std::size_t *at) {
    unsigned char lead = text[*at];
    int extra;
    std::uint32_t code, minimum;
    if (lead < 0x80) {
        (*at)++;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1, code = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2, code = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3, code = lead & 0x07, minimum = 0x10000;
    } else {
        (*at)++;
        return 0xFFFD;
    }
    for (int i = 1; i <= extra; i++) {
        unsigned char next = text[*at + i];
        if ((next & 0xC0) != 0x80) {
            (*at)++;
            return 0xFFFD;
        }
        code = (code << 6) | (next & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        (*at)++;
        return 0xFFFD;
    }
    *at += extra + 1;
    return code;
}

void appendUtf8(std::string &out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The characters a text shows: tabs and line ends as blanks, other control characters
// and the non-characters U+FFFE and U+FFFF left out, broken UTF-8 as U+FFFD.
std::vector<std::uint32_t> shownCodes(const char *text) {
    std::vector<std::uint32_t> codes;
    if (text == nullptr) return codes;
    const auto *bytes = reinterpret_cast<const unsigned char *>(text);
    for (std::size_t at = 0; bytes[at] != 0;) {
        std::uint32_t code = nextCodePoint(bytes, &at);
        if (code == '\t' || code == '\n' || code == '\r') code = ' ';
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0xFFFE || code == 0xFFFF)
            continue;
        codes.push_back(code);
    }
    return codes;
}

// Estimated advance of a character in em of a sans-serif font, on the wide side (as
// DejaVu Sans) so that texts placed by it fit in narrower fonts too.
double charWidth(std::uint32_t code) {
    if (code >= '0' && code <= '9') return 0.64;
    if (code == ' ' || code == '.' || code == ',' || code == ':' || code == ';' || code == '/' ||
        code == '\'' || code == '|' || code == 'i' || code == 'l' || code == 'j' || code == '!' ||
        code == '(' || code == ')' || code == '[' || code == ']' || code == '-')
        return 0.36;
    if (code == 'm' || code == 'w' || code == 'M' || code == 'W' || code == '@') return 0.95;
    if (code >= 'A' && code <= 'Z') return 0.72;
    if (code < 0x80) return 0.6;
    if (code >= 0x1100) return 1.0;  // CJK and other wide scripts
    return 0.68;
}

double codesWidth(const std::vector<std::uint32_t> &codes, double size) {
    double em = 0.0;
    for (std::uint32_t code : codes) em += charWidth(code);
    return em * size;
}

// The estimated width of a text in a font of the given size.
double textWidth(const std::string &text, double size) {
    return codesWidth(shownCodes(text.c_str()), size);
}

// Text for an XML element or attribute: the characters shown with the five special ones
// as references. With a width above 0 a longer text is cut to fit it and ends in an
// ellipsis.
std::string xmlText(const char *text, double width = 0.0, double size = 0.0) {
    std::vector<std::uint32_t> codes = shownCodes(text);
    bool cut = width > 0.0 && codesWidth(codes, size) > width;
    if (cut) {
        double room = width - size;  // the ellipsis is one em wide at most
        while (!codes.empty() && codesWidth(codes, size) > room) codes.pop_back();
    }
    std::string out;
    for (std::uint32_t code : codes) {
        switch (code) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                appendUtf8(out, code);
        }
    }
    if (cut) out += "\xE2\x80\xA6";
    return out;
}

// The estimated width of xmlText(text, width, size) as shown.
double shownWidth(const char *text, double width, double size) {
    double full = codesWidth(shownCodes(text), size);
    return width > 0.0 && full > width ? width : full;
}

// ---- Colours ----

// "#rrggbb" of a colour setting, its built-in default when it is not a colour.
std::string colorText(const char *setting, const char *fallback) {
    int red = 0, green = 0, blue = 0;
    if (setting == nullptr || !parseColor(setting, &red, &green, &blue))
        if (fallback == nullptr || !parseColor(fallback, &red, &green, &blue))
            red = green = blue = 0;
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", red & 0xFF, green & 0xFF, blue & 0xFF);
    return text;
}

// The colours of a colour list, its defaults when the list is empty.
std::vector<std::string> colorList(const StringArray &list) {
    const char *const *defaults = nullptr;
    int defaultCount = globalDefaultList(&list, &defaults);
    std::vector<std::string> colors;
    if (list.count > 0 && list.items != nullptr) {
        for (int i = 0; i < list.count; i++)
            colors.push_back(
                colorText(list.items[i], defaultCount > 0 ? defaults[i % defaultCount] : nullptr));
    } else {
        for (int i = 0; i < defaultCount; i++) colors.push_back(colorText(defaults[i], nullptr));
    }
    if (colors.empty()) colors.push_back("#808080");
    return colors;
}

// ---- Document ----

struct Writer {
    FILE *out;
    void put(const std::string &text) { std::fputs(text.c_str(), out); }
};

constexpr double FONT = 12.0;        // labels, ticks, legends
constexpr double TITLE_FONT = 13.0;  // the chart's title

// The opening of the document up to and with its style. The background stays
// transparent, as the GIFs' does; texts of class t, grid lines of class g and axis
// lines of class a take the configured colours. In a dark colour scheme the picture
// gets a dark background of its own with light texts and lines, so that it reads the
// same whatever the page puts behind it.
void openDocument(Writer &w, int width, int height, const std::string &title,
                  const std::string &textColor, const std::string &gridColor,
                  const std::string &axisColor) {
    std::string w_ = std::to_string(width), h_ = std::to_string(height);
    w.put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    w.put("<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + w_ +
          "\" height=\"" + h_ + "\" viewBox=\"0 0 " + w_ + " " + h_ +
          "\" font-family=\"sans-serif\">\n");
    w.put("<title>" + title + "</title>\n");
    w.put("<style type=\"text/css\"><![CDATA[\n.b{fill:none}\n.t{fill:" + textColor +
          "}\n.g{stroke:" + gridColor + "}\n.a{stroke:" + axisColor +
          "}\n@media (prefers-color-scheme:dark){.b{fill:#161b22}.t{fill:#e6edf3}"
          ".g{stroke:#ffffff}.a{stroke:#c9d1d9}}\n]]></style>\n");
    w.put("<rect class=\"b\" width=\"" + w_ + "\" height=\"" + h_ + "\" fill=\"none\"/>\n");
}

void closeDocument(Writer &w) {
    w.put("</svg>\n");
}

std::string textElement(double x, double y, double size, const char *anchor,
                        const std::string &fill, const std::string &content,
                        const std::string &extra = "") {
    std::string s =
        "<text x=\"" + coord(x) + "\" y=\"" + coord(y) + "\" font-size=\"" + coord(size) + "\"";
    if (anchor != nullptr) s += std::string(" text-anchor=\"") + anchor + "\"";
    s += " class=\"t\" fill=\"" + fill + "\"" + extra + ">" + content + "</text>\n";
    return s;
}

// ---- Value charts ----

// The page shows charts at most 400 pixels wide: drawn at that size, the texts keep
// their size there and shrink only on narrower screens.
constexpr int CHART_WIDTH = 400;
constexpr int CHART_HEIGHT = 260;
constexpr int MAX_BAR_POINTS = 100;  // beyond, bars give way to lines as on the GIFs
constexpr int MAX_BAR_CHANNELS = 8;
constexpr double LABEL_WIDTH = 90.0;  // room of a point label
constexpr double NAME_WIDTH = 150.0;  // room of a channel name in the legend

// A value as drawn: what is no finite number or below 0 stands at 0.
double drawnValue(double value) {
    return std::isfinite(value) && value > 0.0 ? value : 0.0;
}

// Round ticks: a step of 1, 2 or 5 times a power of ten giving at most five intervals
// up to the largest value; the axis ends at the first tick at or above it. Tick labels
// show the values divided by a power of 1000 up to 10^12 that keeps them below
// 1,000,000; larger ones are written with a power of ten.
struct Axis {
    double step = 1.0;
    int intervals = 1;
    double divisor = 1.0;
    int decimals = 0;
};

Axis roundAxis(double maximum) {
    Axis axis;
    if (!(maximum > 0.0) || !std::isfinite(maximum)) return axis;
    int exponent = static_cast<int>(std::floor(std::log10(maximum / 5.0)));
    double power = std::pow(10.0, exponent);
    double step = 10.0 * power;
    for (double factor : {1.0, 2.0, 5.0})
        if (factor * power * 5.0 >= maximum * (1.0 - 1e-12)) {
            step = factor * power;
            break;
        }
    int intervals = static_cast<int>(std::ceil(maximum / step * (1.0 - 1e-12)));
    if (intervals < 1) intervals = 1;
    // At the ends of the double range the round top would not be a finite number.
    if (!(step > 0.0) || !std::isfinite(step * intervals)) {
        axis.step = maximum;
        return axis;
    }
    axis.step = step;
    axis.intervals = intervals;
    while (step * intervals / axis.divisor >= 1e6 && axis.divisor < 1e12) axis.divisor *= 1000.0;
    if (step * intervals / axis.divisor >= 1e6) axis.divisor = 1.0;  // beyond: "2e20"
    double shown = step / axis.divisor;
    while (axis.decimals < 6 && std::fabs(shown - std::round(shown)) > 1e-9 * shown) {
        shown *= 10.0;
        axis.decimals++;
    }
    return axis;
}

// Whether channel c has a name of its own to show: one that is not just the title.
bool namedChannel(const char *const *names, int c, const char *title) {
    if (names == nullptr || names[c] == nullptr || names[c][0] == '\0') return false;
    return title == nullptr || std::strcmp(names[c], title) != 0;
}

// The text of a bar's or point's <title>: "label, name: value title".
std::string pointTitle(const char *const *labels, int s, const char *const *names, int c,
                       const char *title, double value) {
    std::string text;
    if (labels != nullptr && labels[s] != nullptr)
        text = xmlText(labels[s]);
    else
        text = std::to_string(s + 1);
    if (namedChannel(names, c, title)) text += ", " + xmlText(names[c]);
    text += ": " + numberText(value, 2, true);
    if (title != nullptr && title[0] != '\0') text += " " + xmlText(title);
    return text;
}

}  // namespace

void svgChartWrite(FILE *out, int style, const char *const *labels, const char *title,
                   const double *const *data, int points, int channels, const char *const *names) {
    Writer w{out};
    std::string textColor = colorText(chartTextColor, globalDefaultText(&chartTextColor));
    std::string gridColor = colorText(chartTickColor, globalDefaultText(&chartTickColor));
    std::string axisColor = colorText(chartBorderColor, globalDefaultText(&chartBorderColor));
    std::string crossColor = colorText(chartCrossColor, globalDefaultText(&chartCrossColor));
    std::vector<std::string> colors = colorList(chartBarColors);

    if ((style & CHART_BARS) && (channels > MAX_BAR_CHANNELS || points > MAX_BAR_POINTS))
        style = (style | CHART_LINES | CHART_FILLED) & ~CHART_BARS;
    if ((style & CHART_FILLED) && channels > 1) style &= ~CHART_FILLED;
    bool bars = (style & CHART_BARS) != 0;
    bool empty = points <= 0 || channels <= 0 || data == nullptr || (!bars && points < 2);

    double maximum = 0.0;
    for (int c = 0; !empty && c < channels; c++)
        for (int s = 0; s < points; s++)
            if (drawnValue(data[c][s]) > maximum) maximum = drawnValue(data[c][s]);
    Axis axis = roundAxis(maximum);

    // The title, with the factor of the tick labels: "bytes (\u00D71,000,000)".
    std::string titleText = title != nullptr ? xmlText(title) : std::string();
    if (axis.divisor > 1.0)
        titleText += (titleText.empty() ? "\xC3\x97" : " (\xC3\x97") +
                     numberText(axis.divisor, 0, true) + (titleText.empty() ? "" : ")");
    openDocument(w, CHART_WIDTH, CHART_HEIGHT, titleText.empty() ? "Chart" : titleText, textColor,
                 gridColor, axisColor);
    double top = 4.0;
    if (!titleText.empty()) {
        w.put(textElement(4, 4 + TITLE_FONT, TITLE_FONT, nullptr, textColor, titleText,
                          " font-weight=\"bold\""));
        top += TITLE_FONT + 6;
    }
    if (empty) {
        closeDocument(w);
        return;
    }

    // Legend: one swatch and name per channel, in rows across the width, when a channel
    // has a name other than the title.
    bool legendShown = false;
    for (int c = 0; c < channels; c++)
        if (namedChannel(names, c, title)) legendShown = true;
    if (legendShown) {
        double x = 4, rowTop = top;
        std::string legend;
        for (int c = 0; c < channels; c++) {
            const char *name = names[c] != nullptr ? names[c] : "";
            double itemWidth = 15 + shownWidth(name, NAME_WIDTH, FONT) + 12;
            if (x > 4 && x + itemWidth > CHART_WIDTH - 4) {
                x = 4;
                rowTop += FONT + 5;
            }
            const std::string &color = colors[c % colors.size()];
            legend += "<rect x=\"" + coord(x) + "\" y=\"" + coord(rowTop + 1) +
                      "\" width=\"10\" height=\"10\" fill=\"" + color + "\"/>\n";
            legend += textElement(x + 15, rowTop + FONT - 1, FONT, nullptr, textColor,
                                  xmlText(name, NAME_WIDTH, FONT));
            x += itemWidth;
        }
        w.put("<g>\n" + legend + "</g>\n");
        top = rowTop + FONT + 8;
    }
    top += FONT / 2;  // room for the top tick's label

    std::vector<std::string> tickTexts;
    double tickWidth = 0.0;
    for (int i = 0; i <= axis.intervals; i++) {
        tickTexts.push_back(numberText(axis.step * i / axis.divisor, axis.decimals, false));
        tickWidth = std::max(tickWidth, textWidth(tickTexts.back(), FONT));
    }
    double left = 4 + tickWidth + 6;
    double right = CHART_WIDTH - 8;

    // Point labels: across when they fit at every point or every fourth at most, else
    // rotated; every k-th label so that neighbours do not touch.
    double labelWidth = 0.0;
    for (int s = 0; labels != nullptr && s < points; s++)
        labelWidth = std::max(labelWidth, shownWidth(labels[s], LABEL_WIDTH, FONT));
    auto pitchOf = [&](double from) {
        return bars ? (right - from) / points : (right - from) / (points - 1);
    };
    double pitch = pitchOf(left);
    int every = 1;
    bool rotated = false;
    double bottom = CHART_HEIGHT - 4;
    if (labelWidth > 0.0) {
        int across = static_cast<int>(std::ceil((labelWidth + 6) / pitch));
        int slanted = static_cast<int>(std::ceil(FONT * 1.6 / pitch));
        rotated = across > 4 || (across > 1 && slanted <= 1);
        if (rotated) {
            // Rotated labels end at their point and reach down to the left; the first
            // one must not leave the picture.
            double reach = labelWidth * 0.71 + FONT * 0.5;
            if (!bars && left < reach) left = reach;
            if (bars && left + pitch / 2 < reach) left = reach - pitchOf(reach) / 2;
            pitch = pitchOf(left);
            every = static_cast<int>(std::ceil(FONT * 1.6 / pitch));
            bottom -= labelWidth * 0.71 + FONT + 2;
        } else {
            every = across;
            bottom -= FONT + 6;
        }
        if (every < 1) every = 1;
    }
    double slot = bars ? pitch : 0.0;
    double plotHeight = bottom - top;
    if (plotHeight < 40) plotHeight = 40;
    bottom = std::round(top + plotHeight);
    plotHeight = bottom - top;
    auto yOf = [&](double value) {
        return tenth(bottom - drawnValue(value) / axis.step / axis.intervals * plotHeight);
    };
    auto xOf = [&](int s) { return bars ? left + slot * (s + 0.5) : left + pitch * s; };

    w.put("<g>\n");
    for (int i = 0; i <= axis.intervals; i++) {
        double y = tenth(bottom - plotHeight * i / axis.intervals);
        if (i > 0)
            w.put("<line class=\"g\" x1=\"" + coord(left) + "\" y1=\"" + coord(y) + "\" x2=\"" +
                  coord(right) + "\" y2=\"" + coord(y) + "\" stroke=\"" + gridColor +
                  "\" stroke-opacity=\"0.25\"/>\n");
        w.put(textElement(left - 6, y + FONT * 0.35, FONT, "end", textColor, tickTexts[i]));
    }
    w.put("</g>\n");

    if (labelWidth > 0.0) {
        w.put("<g>\n");
        for (int s = 0; s < points; s += every) {
            if (labels[s] == nullptr) continue;
            double x = xOf(s);
            std::string text = xmlText(labels[s], LABEL_WIDTH, FONT);
            if (rotated) {
                double y = bottom + FONT * 0.8;
                w.put(textElement(
                    x + FONT * 0.3, y, FONT, "end", textColor, text,
                    " transform=\"rotate(-45 " + coord(x + FONT * 0.3) + " " + coord(y) + ")\""));
            } else {
                // Kept inside the picture at both ends.
                double half = shownWidth(labels[s], LABEL_WIDTH, FONT) / 2;
                if (x + half > CHART_WIDTH - 1) x = CHART_WIDTH - 1 - half;
                if (x - half < 1) x = 1 + half;
                w.put(textElement(x, bottom + FONT + 3, FONT, "middle", textColor, text));
            }
        }
        w.put("</g>\n");
    }

    // A cross of the cross colour centred on (x, y).
    auto cross = [&](double x, double y) {
        return "<path d=\"M" + coord(x - 3) + " " + coord(y - 3) + "l6 6m0 -6l-6 6\" stroke=\"" +
               crossColor + "\" stroke-width=\"1.5\" fill=\"none\"";
    };
    if (bars) {
        double group = slot * (channels > 1 ? 0.84 : 0.76);
        double barWidth = group / channels;
        for (int c = 0; c < channels; c++) {
            const std::string &color = colors[c % colors.size()];
            w.put("<g fill=\"" + color + "\">\n");
            for (int s = 0; s < points; s++) {
                double x = left + slot * s + (slot - group) / 2 + barWidth * c;
                double x0 = tenth(x), x1 = tenth(x + barWidth), y = yOf(data[c][s]);
                w.put("<rect x=\"" + coord(x0) + "\" y=\"" + coord(y) + "\" width=\"" +
                      coord(x1 - x0) + "\" height=\"" + coord(bottom - y) + "\"><title>" +
                      pointTitle(labels, s, names, c, title, data[c][s]) + "</title></rect>\n");
                if (style & CHART_CROSSES) w.put(cross((x0 + x1) / 2, y) + "/>\n");
            }
            w.put("</g>\n");
        }
    } else {
        double radius = pitch >= 10 ? 2.5 : pitch >= 5 ? 2 : 1.5;
        for (int c = 0; c < channels; c++) {
            const std::string &color = colors[c % colors.size()];
            std::string line;
            for (int s = 0; s < points; s++) {
                if (s > 0) line += ' ';
                line += coord(xOf(s));
                line += ',';
                line += coord(yOf(data[c][s]));
            }
            w.put("<g>\n");
            if (style & CHART_FILLED)
                w.put("<polygon points=\"" + coord(left) + "," + coord(bottom) + " " + line + " " +
                      coord(right) + "," + coord(bottom) + "\" fill=\"" + color +
                      "\" fill-opacity=\"0.35\"/>\n");
            if (style & CHART_LINES)
                w.put("<polyline points=\"" + line + "\" fill=\"none\" stroke=\"" + color +
                      "\" stroke-width=\"2\" stroke-linejoin=\"round\"/>\n");
            // Every point carries its figure; on a dense line the marks are invisible.
            for (int s = 0; s < points; s++) {
                double x = xOf(s), y = yOf(data[c][s]);
                std::string tip =
                    "<title>" + pointTitle(labels, s, names, c, title, data[c][s]) + "</title>";
                if (style & CHART_CROSSES)
                    w.put(cross(x, y) + ">" + tip + "</path>\n");
                else
                    w.put("<circle cx=\"" + coord(x) + "\" cy=\"" + coord(y) + "\" r=\"" +
                          coord(radius) + "\" fill=\"" + color + "\"" +
                          ((style & CHART_LINES) && pitch < 8 ? " fill-opacity=\"0\"" : "") + ">" +
                          tip + "</circle>\n");
            }
            w.put("</g>\n");
        }
    }
    w.put("<line class=\"a\" x1=\"" + coord(left) + "\" y1=\"" + coord(bottom) + "\" x2=\"" +
          coord(right) + "\" y2=\"" + coord(bottom) + "\" stroke=\"" + axisColor + "\"/>\n");
    closeDocument(w);
}

// ---- Pies ----

namespace {

// The pie beside its legend, 400 wide like the value charts; with more values than
// PIE_ROWS the legend runs on below the pie's height and the picture grows.
constexpr int PIE_WIDTH = 400;
constexpr int PIE_HEIGHT = 180;
constexpr int PIE_ROWS = 9;
constexpr double PIE_ROW = 18.0;  // height of a legend row
constexpr double PIE_RADIUS = 82.0;
constexpr double PIE_SHARE_WIDTH = 44.0;  // room of "100.0%"

// A share of the whole in percent with one decimal; "<0.1%" for a sliver.
std::string percentText(double share) {
    if (share > 0.0 && share < 0.0005) return "&lt;0.1%";
    return numberText(share * 100.0, 1, false) + "%";
}

// Black or white, whichever stands out on a "#rrggbb" colour.
const char *inkOn(const std::string &color) {
    int red = 0, green = 0, blue = 0;
    parseColor(color.c_str(), &red, &green, &blue);
    return 2126 * red + 7152 * green + 722 * blue < 10000 * 128 ? "#ffffff" : "#000000";
}

double sliceValue(double value) {
    return std::isfinite(value) && value > 0.0 ? value : 0.0;
}

}  // namespace

void svgPieWrite(FILE *out, const double *values, int n, const char *const *labels) {
    Writer w{out};
    std::string border = colorText(pieBorderColor, globalDefaultText(&pieBorderColor));
    std::vector<std::string> colors = colorList(pieSliceColors);
    if (values == nullptr || n < 0) n = 0;

    // Shares computed on values scaled by the largest, so that no sum overflows.
    double largest = 0.0;
    for (int i = 0; i < n; i++) largest = std::max(largest, sliceValue(values[i]));
    double total = 0.0;
    if (largest > 0.0)
        for (int i = 0; i < n; i++) total += sliceValue(values[i]) / largest;
    std::vector<double> shares(n, 0.0);
    int drawn = 0;
    for (int i = 0; i < n; i++) {
        if (total > 0.0) shares[i] = sliceValue(values[i]) / largest / total;
        if (shares[i] > 0.0) drawn++;
    }

    int height = PIE_HEIGHT;
    if (drawn > PIE_ROWS) height = static_cast<int>(PIE_ROW * drawn + 18);
    openDocument(w, PIE_WIDTH, height, "Pie chart", border, border, border);
    double r = PIE_RADIUS, cx = 4 + r, cy = PIE_HEIGHT / 2.0;
    double legendX = cx + r + 14;
    double legendTop = drawn > PIE_ROWS ? 9 : cy - drawn * PIE_ROW / 2;
    double labelRoom = PIE_WIDTH - 4 - PIE_SHARE_WIDTH - (legendX + 16);

    w.put("<circle cx=\"" + coord(cx) + "\" cy=\"" + coord(cy) + "\" r=\"" + coord(r) +
          "\" fill=\"none\" class=\"a\" stroke=\"" + border + "\"/>\n");

    const double pi = std::acos(-1.0);
    double running = 0.0;  // share before the slice; angles clockwise from 12 o'clock
    int shift = 0;
    int row = 0;
    std::string numbers, legend;
    for (int i = 0; i < n; i++) {
        // "Other" would share the first slice's colour at the place where they meet.
        if (i == n - 1 && i % static_cast<int>(colors.size()) == 0) shift = 1;
        double share = shares[i];
        if (!(share > 0.0)) continue;
        const std::string &color = colors[(i + shift) % colors.size()];
        std::string number = i == n - 1 ? "Other" : std::to_string(i + 1);
        const char *name = labels != nullptr && labels[i] != nullptr ? labels[i] : number.c_str();
        std::string tip = "<title>" + xmlText(name) + ": " + percentText(share) + "</title>";
        bool whole = share >= 1.0 - 1e-9;
        double a0 = 2 * pi * running, a1 = 2 * pi * (running + share);
        running += share;
        std::string rr = coord(r) + " " + coord(r);
        if (whole)  // a full circle takes two arcs
            w.put("<path d=\"M" + coord(cx) + " " + coord(cy - r) + "A" + rr + " 0 1 1 " +
                  coord(cx) + " " + coord(cy + r) + "A" + rr + " 0 1 1 " + coord(cx) + " " +
                  coord(cy - r) + "Z\" fill=\"" + color + "\" stroke=\"" + border + "\">" + tip +
                  "</path>\n");
        else
            w.put("<path d=\"M" + coord(cx) + " " + coord(cy) + "L" + coord(cx + r * std::sin(a0)) +
                  " " + coord(cy - r * std::cos(a0)) + "A" + rr + " 0 " +
                  (a1 - a0 > pi ? "1" : "0") + " 1 " + coord(cx + r * std::sin(a1)) + " " +
                  coord(cy - r * std::cos(a1)) + "Z\" fill=\"" + color + "\" stroke=\"" + border +
                  "\" stroke-linejoin=\"round\">" + tip + "</path>\n");
        // The slice's number inside it when it has room, black or white as reads best.
        if (whole || (a1 - a0) * r * 0.66 >= textWidth(number, FONT) + 4) {
            double middle = (a0 + a1) / 2, distance = whole ? 0 : r * 0.66;
            numbers += "<text x=\"" + coord(cx + distance * std::sin(middle)) + "\" y=\"" +
                       coord(cy - distance * std::cos(middle) + FONT * 0.35) + "\" font-size=\"" +
                       coord(FONT) + "\" text-anchor=\"middle\" fill=\"" + inkOn(color) + "\">" +
                       number + "</text>\n";
        }
        // Legend row: swatch, number and label, share.
        double y = legendTop + PIE_ROW * row++;
        legend += "<rect x=\"" + coord(legendX) + "\" y=\"" + coord(y + 3) +
                  "\" width=\"11\" height=\"11\" fill=\"" + color + "\" stroke=\"" + border +
                  "\" stroke-width=\"0.5\"/>\n";
        std::string shown = labels != nullptr && i < n - 1 ? number + " " + name : name;
        legend += textElement(legendX + 16, y + 13, FONT, nullptr, border,
                              xmlText(shown.c_str(), labelRoom, FONT));
        legend += textElement(PIE_WIDTH - 4, y + 13, FONT, "end", border, percentText(share));
    }
    w.put("<g>\n" + numbers + "</g>\n<g>\n" + legend + "</g>\n");
    closeDocument(w);
}
