// Helpers of the page end-to-end tests: one analyser run over a log in a fresh report
// directory, and a check that a page holds only the markup the writers produce.
#pragma once
#include <gd.h>

#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "e2e_util.h"

// Writes the configuration (minimal plus extra) and the log into dir and runs the
// analyser on them with the further arguments.
inline RunResult analyse(const TempDir &dir, const std::string &configExtra, const std::string &log,
                         const std::vector<std::string> &more = {}) {
    writeFile(dir.file("quorvel.conf"), minimalConfig(dir.path, configExtra));
    writeFile(dir.file("access.log"), log);
    std::vector<std::string> args = {"-c", dir.file("quorvel.conf"), "-l", dir.file("access.log")};
    args.insert(args.end(), more.begin(), more.end());
    return runQuorvel(args);
}

inline std::string pageOf(const TempDir &dir, int start) {
    return readFile(dir.file(std::to_string(start) + ".html"));
}

// Size and transparency of a GIF; width 0 when it cannot be read.
struct GifInfo {
    int width = 0, height = 0, transparent = -1, interlaced = -1;
};
inline GifInfo gifInfo(const std::string &path) {
    GifInfo info;
    FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) return info;
    gdImagePtr image = gdImageCreateFromGif(file);
    std::fclose(file);
    if (!image) return info;
    info.width = gdImageSX(image);
    info.height = gdImageSY(image);
    info.transparent = gdImageGetTransparent(image);
    info.interlaced = gdImageGetInterlaced(image);
    gdImageDestroy(image);
    return info;
}

// Empty when every tag of the page is one the page writers produce, with only their
// attributes, and no link or image leads to a script; otherwise what was found.
inline std::string markupProblem(const std::string &page) {
    static const std::set<std::string> tags = {
        "html", "head", "title", "body", "h1",     "h2", "h3", "h4", "table",
        "tr",   "td",   "th",    "a",    "img",    "br", "em", "p",  "strong",
        "font", "b",    "i",     "hr",   "center", "ul", "li"};
    static const std::set<std::string> attributes = {"href",    "src",   "width", "height",
                                                     "align",   "name",  "clear", "border",
                                                     "bgcolor", "color", "valign"};
    std::size_t i = 0;
    while ((i = page.find('<', i)) != std::string::npos) {
        std::size_t p = i + 1;
        if (p < page.size() && page[p] == '/') p++;
        std::size_t nameStart = p;
        while (p < page.size() && std::isalnum(static_cast<unsigned char>(page[p]))) p++;
        std::string name = page.substr(nameStart, p - nameStart);
        for (char &c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (name.empty()) {
            // "<" not followed by a name is text to a browser, unless it opens a comment
            // or a declaration.
            if (p < page.size() && (page[p] == '!' || page[p] == '?'))
                return "declaration at " + std::to_string(i);
            i = p;
            continue;
        }
        if (!tags.count(name)) return "tag <" + name + "> at " + std::to_string(i);
        // Attributes up to the closing ">".
        while (p < page.size() && page[p] != '>') {
            while (p < page.size() &&
                   (std::isspace(static_cast<unsigned char>(page[p])) || page[p] == '/'))
                p++;
            if (p >= page.size() || page[p] == '>') break;
            std::size_t attrStart = p;
            while (p < page.size() && !std::isspace(static_cast<unsigned char>(page[p])) &&
                   page[p] != '=' && page[p] != '>')
                p++;
            std::string attr = page.substr(attrStart, p - attrStart);
            for (char &c : attr) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (!attributes.count(attr))
                return "attribute " + attr + " in <" + name + "> at " + std::to_string(i);
            if (p < page.size() && page[p] == '=') {
                p++;
                std::string value;
                if (p < page.size() && (page[p] == '"' || page[p] == '\'')) {
                    char quote = page[p++];
                    std::size_t end = page.find(quote, p);
                    if (end == std::string::npos)
                        return "unclosed attribute value at " + std::to_string(i);
                    value = page.substr(p, end - p);
                    p = end + 1;
                } else {
                    std::size_t valueStart = p;
                    while (p < page.size() && !std::isspace(static_cast<unsigned char>(page[p])) &&
                           page[p] != '>')
                        p++;
                    value = page.substr(valueStart, p - valueStart);
                }
                std::string lower;
                for (char c : value)
                    if (!std::isspace(static_cast<unsigned char>(c)) &&
                        static_cast<unsigned char>(c) >= 0x20)
                        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                if ((attr == "href" || attr == "src") &&
                    (lower.rfind("javascript:", 0) == 0 || lower.rfind("vbscript:", 0) == 0 ||
                     lower.rfind("data:", 0) == 0 || lower.find("&#") != std::string::npos))
                    return "script link " + value + " at " + std::to_string(i);
                if (value.find('<') != std::string::npos)
                    return "'<' inside an attribute at " + std::to_string(i);
            }
        }
        i = p;
    }
    return "";
}
