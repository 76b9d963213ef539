// The panel as the host lays it out, drawn as SVG.
#include "standin/panel_host.h"
#include "standin/xml.h"

#include <algorithm>
#include <cstdio>

namespace standin {

// ---------------------------------------------------------------------------
// The picture

namespace {

constexpr int kTitleBar = 22;
constexpr int kFieldHeight = 16;
constexpr int kListRowHeight = 15;

struct Box {
    int width = 0;
    int height = kFieldHeight;
};

// The size of a control's field, right of its label.
Box fieldBox(const PanelControl& control) {
    const std::string& type = control.typeName;
    if (type == kControlNameFloat) {
        return {80};
    }
    if (type == kControlNameVector) {
        return {3 * 64 + 2 * 4};
    }
    if (type == kControlNameInteger) {
        return {60};
    }
    if (type == kControlNameBool) {
        return {kFieldHeight};
    }
    if (type == kControlNameButton) {
        return {static_cast<int>(control.label.size()) * PanelHost::kCharWidth + 20};
    }
    if (type == kControlNameInfo) {
        return {std::max(control.descriptor.width, 1) * 8};
    }
    if (type == kControlNameListBox) {
        return {std::max(control.descriptor.width, 40),
                std::max(control.descriptor.visibleRows, 1) * kListRowHeight + 4};
    }
    return {60};
}

std::string textAt(int x, int y, const std::string& text, const char* extra = "") {
    return "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\"" + extra + ">" +
           escapeXml(text) + "</text>\n";
}

std::string rect(int x, int y, int width, int height, const char* style) {
    return "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
           std::to_string(width) + "\" height=\"" + std::to_string(height) + "\" " + style + "/>\n";
}

} // namespace

std::string PanelHost::svg(const Panel& panel) {
    int width = 320;
    int bottom = 0;
    for (const auto& control : panel.controls) {
        const Box box = fieldBox(*control);
        width =
            std::max(width, static_cast<int>(control->x + control->labelWidth) + box.width + 12);
        bottom = std::max(bottom, static_cast<int>(control->y) + box.height + 12);
    }
    const int height = panel.heightSet ? panel.height : bottom;
    const char* field = "fill=\"#f4f4f4\" stroke=\"#606060\"";
    std::string out;
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
           "\" height=\"" + std::to_string(height + kTitleBar) +
           "\" xml:space=\"preserve\" font-family=\"monospace\" " + "font-size=\"8.33\">\n";
    out += rect(0, 0, width, kTitleBar, "fill=\"#4a5a7a\"");
    out += textAt(6, 15, panel.title, " fill=\"#ffffff\" font-size=\"11\"");
    out += rect(0, kTitleBar, width, height, "fill=\"#c8c8c8\" stroke=\"#404040\"");
    for (const auto& control : panel.controls) {
        const PanelControl& c = *control;
        const int x = static_cast<int>(c.x);
        const int top = static_cast<int>(c.y) + kTitleBar;
        const int fieldX = x + static_cast<int>(c.labelWidth);
        const Box box = fieldBox(c);
        const int baseline = top + 11;
        out += "<g class=\"control\" data-type=\"" + escapeXml(c.typeName) + "\" data-label=\"" +
               escapeXml(c.label) + "\" data-x=\"" + std::to_string(c.x) + "\" data-y=\"" +
               std::to_string(c.y) + "\" data-label-width=\"" + std::to_string(c.labelWidth) +
               "\">\n";
        if (c.typeName == kControlNameButton) {
            out += rect(x, top, box.width, box.height, "fill=\"#e0e0e0\" stroke=\"#303030\"");
            out += textAt(x + 10, baseline, c.label);
            out += "</g>\n";
            continue;
        }
        out += textAt(x, baseline, c.label);
        if (c.typeName == kControlNameVector) {
            for (int i = 0; i < 3; ++i) {
                out += rect(fieldX + i * 68, top, 64, box.height, field);
                out += textAt(fieldX + i * 68 + 3, baseline, printedNumber(c.vector[i], "%g"));
            }
        } else if (c.typeName == kControlNameBool) {
            out += rect(fieldX, top, box.width, box.height, field);
            if (c.integer != 0) {
                out += textAt(fieldX + 4, baseline, "x");
            }
        } else if (c.typeName == kControlNameListBox) {
            out += rect(fieldX, top, box.width, box.height, "fill=\"#ffffff\" stroke=\"#606060\"");
            const int shown = std::min<int>(static_cast<int>(c.rows.size()),
                                            std::max(c.descriptor.visibleRows, 1));
            for (int i = 0; i < shown; ++i) {
                out += textAt(fieldX + 4, top + 13 + i * kListRowHeight, c.rows[i]);
            }
        } else {
            out += rect(fieldX, top, box.width, box.height, field);
            std::string shown;
            if (c.typeName == kControlNameFloat) {
                shown = printedNumber(c.number, "%g");
            } else if (c.typeName == kControlNameInfo) {
                shown = c.text;
            } else {
                shown = std::to_string(c.integer);
            }
            out += textAt(fieldX + 3, baseline, shown);
        }
        out += "</g>\n";
    }
    out += "</svg>\n";
    return out;
}

} // namespace standin
