// The modern page style: its stylesheet, written next to the pages, and the modern forms
// of the classic texts that the configuration left at their built-in defaults.
#include <string>

#include "config/global.h"
#include "core/mem.h"
#include "report/report.h"

const char *const REPORT_STYLESHEET = "quorvel.css";

// The whole stylesheet. Light colours first, dark ones for readers who prefer them; every
// pair of text and background colour keeps a contrast of at least 4.5:1. The SVG charts
// change their own colours with the scheme; the GIF charts (gifcharts) keep a light ground.
static const char stylesheet[] =
    ":root {\n"
    "  color-scheme: light dark;\n"
    "  --bg: #ffffff; --fg: #1b1f24; --muted: #555e68; --line: #d0d7de;\n"
    "  --head: #eef1f4; --card: #f6f8fa; --link: #0a55c2;\n"
    "}\n"
    "@media (prefers-color-scheme: dark) {\n"
    "  :root {\n"
    "    --bg: #0d1117; --fg: #e6edf3; --muted: #a2acb7; --line: #3a414a;\n"
    "    --head: #1c232c; --card: #161b22; --link: #79b8ff;\n"
    "  }\n"
    "  img[src$=\".gif\"] { background: #ffffff; }\n"
    "}\n"
    "*, *::before, *::after { box-sizing: border-box; }\n"
    "html { -webkit-text-size-adjust: 100%; text-size-adjust: 100%; }\n"
    "body {\n"
    "  margin: 0 auto; max-width: 72rem; padding: 0 1rem 2rem;\n"
    "  background: var(--bg); color: var(--fg);\n"
    "  font: 1rem/1.5 system-ui, -apple-system, \"Segoe UI\", Roboto, \"Noto Sans\", "
    "sans-serif;\n"
    "  overflow-wrap: anywhere;\n"
    "}\n"
    "a { color: var(--link); }\n"
    "h1 { font-size: 1.6rem; line-height: 1.25; margin: 1rem 0 0.5rem; }\n"
    "h2 { font-size: 1.3rem; margin: 1.75rem 0 0.5rem; }\n"
    "h3 { font-size: 1.15rem; margin: 2rem 0 0.5rem; padding-top: 0.75rem;\n"
    "  border-top: 1px solid var(--line); }\n"
    "h4 { font-size: 1rem; margin: 1.25rem 0 0.5rem; }\n"
    "img { max-width: 100%; height: auto; }\n"
    "nav.pages { display: flex; flex-wrap: wrap; gap: 0.5rem; padding: 0.75rem 0;\n"
    "  border-bottom: 1px solid var(--line); }\n"
    "nav.pages a, nav.pages span { display: inline-block; padding: 0.25rem 0.8rem;\n"
    "  border: 1px solid var(--line); border-radius: 1rem; text-decoration: none; }\n"
    "nav.pages a:hover, nav.pages a:focus { background: var(--head); }\n"
    "nav.pages span { color: var(--muted); border-style: dashed; }\n"
    ".headline { display: grid; grid-template-columns: repeat(auto-fit, minmax(9.5rem, 1fr));\n"
    "  gap: 0.75rem; margin: 1rem 0 1.5rem; padding: 0; list-style: none; }\n"
    ".headline li { background: var(--card); border: 1px solid var(--line);\n"
    "  border-radius: 0.5rem; padding: 0.6rem 0.9rem; }\n"
    ".headline .label { display: block; color: var(--muted); font-size: 0.875rem; }\n"
    ".headline .value { display: block; font-size: 1.45rem; font-weight: 600;\n"
    "  font-variant-numeric: tabular-nums; }\n"
    ".headline .change { display: block; font-size: 0.8rem; color: var(--muted); }\n"
    ".table-wrap { max-width: 100%; overflow-x: auto; margin: 0.5rem 0 1rem; }\n"
    "table { border-collapse: collapse; margin: 0.5rem 0 1rem; }\n"
    ".table-wrap > table { margin: 0; }\n"
    "th, td { padding: 0.3rem 0.65rem; border-bottom: 1px solid var(--line);\n"
    "  text-align: left; vertical-align: top; overflow-wrap: break-word; }\n"
    "thead th, th[scope=col] { background: var(--head); font-weight: 600;\n"
    "  overflow-wrap: normal; }\n"
    "th[scope=row] { font-weight: normal; }\n"
    "td.num, th.num, td[align=right] { text-align: right; white-space: nowrap;\n"
    "  font-variant-numeric: tabular-nums; }\n"
    "td.share { color: var(--muted); }\n"
    "td.key { min-width: 10rem; overflow-wrap: anywhere; }\n"
    "img.chart { display: block; margin: 0.75rem 0; }\n"
    "img.chart, figure.chart img { width: 100%; max-width: 36rem; height: auto; }\n"
    "figure.chart { margin: 1rem 0; }\n"
    "ul.periods { padding-left: 1.25rem; }\n"
    "ul.periods li { margin: 0.2rem 0; }\n"
    "@media (max-width: 30rem) {\n"
    "  body { padding: 0 0.6rem 1.5rem; }\n"
    "  h1 { font-size: 1.35rem; }\n"
    "  th, td { padding: 0.25rem 0.4rem; }\n"
    "  .headline { grid-template-columns: repeat(2, minmax(0, 1fr)); gap: 0.5rem; }\n"
    "  .headline .value { font-size: 1.2rem; }\n"
    "}\n";

void reportStylesheetWrite() {
    char *path = reportPath("%s/%s", reportDir ? reportDir : ".", REPORT_STYLESHEET);
    OutFile out;
    FILE *file = reportFileOpen(out, path);
    std::fputs(stylesheet, file);
    reportFileClose(out);
    myfree(path);
}

// The modern texts that differ from the classic ones beyond the header cells.
struct ModernText {
    int resource;
    const char *text;
};
static const ModernText modernTexts[] = {
    {HTMLOPENPAGE, "<!DOCTYPE html>\n<html lang=\"en\">"},
    {HTMLOPENBODY, "<body>"},
    {HTMLREPORTOPENLIST, "<table>"},
    {HTMLREPORTOPENNUMERICFIELD, "<td class=\"num\">"},
    {HTMLHISTORYGRAPHSAFTERIMAGE, "<table>"},
};

void reportModernTexts() {
    if (!reportModern()) return;
    // Built once; the copies live as long as the program.
    static std::string *modern = nullptr;
    if (!modern) {
        modern = new std::string[TEXT_RESOURCE_COUNT];
        for (int n = 0; n < TEXT_RESOURCE_COUNT; n++) {
            const char *builtin = textResourceBuiltin(n);
            std::string text = builtin ? builtin : "";
            for (std::size_t at = 0; (at = text.find("<th>", at)) != std::string::npos;) {
                text.replace(at, 4, "<th scope=\"col\">");
                at += 16;
            }
            modern[n] = text;
        }
        for (const ModernText &m : modernTexts) modern[m.resource] = m.text;
    }
    for (int n = 0; n < TEXT_RESOURCE_COUNT; n++) textResourceSetBuiltin(n, modern[n].c_str());
}

void reportModernPrepare() {
    reportModernTexts();
    // The stylesheet once per run and report directory.
    static std::string writtenTo;
    static bool written = false;
    std::string dir = reportDir ? reportDir : ".";
    if (written && writtenTo == dir) return;
    reportStylesheetWrite();
    writtenTo = dir;
    written = true;
}
