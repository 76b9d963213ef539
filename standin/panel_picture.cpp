// The panel as the host lays it out, drawn as SVG.
#include "standin/panel_host.h"
#include "standin/panel_layout.h"
#include "standin/xml.h"

#include <algorithm>
#include <cstdio>

namespace standin {

// ---------------------------------------------------------------------------
// The picture

namespace {

constexpr int kTitleBar = 22;

std::string textAt(int x, int y, const std::string& text, const char* extra = "") {
    return "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\"" + extra + ">" +
           escapeXml(text) + "</text>\n";
}

std::string rect(int x, int y, int width, int height, const char* style) {
    return "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
           std::to_string(width) + "\" height=\"" + std::to_string(height) + "\" " + style + "/>\n";
}

// A control's field or fields, with what they show.
std::string fieldSvg(const PanelControl& c, const ControlBox& box, int top, int baseline) {
    const char* field = "fill=\"#f4f4f4\" stroke=\"#606060\"";
    const int fieldX = box.fieldX;
    std::string out;
    if (c.typeName == kControlNameVector) {
        for (int i = 0; i < 3; ++i) {
            const int partX = fieldX + i * box.partStep;
            out += rect(partX, top, box.partWidth, box.fieldHeight, field);
            out += textAt(partX + 3, baseline, printedNumber(c.vector[i], "%g"));
        }
    } else if (c.typeName == kControlNameBool) {
        out += rect(fieldX, top, box.fieldWidth, box.fieldHeight, field);
        if (c.integer != 0) {
            out += textAt(fieldX + 4, baseline, "x");
        }
    } else if (c.typeName == kControlNameListBox) {
        out += rect(fieldX, top, box.fieldWidth, box.fieldHeight,
                    "fill=\"#ffffff\" stroke=\"#606060\"");
        const int shown = std::min<int>(static_cast<int>(c.rows.size()), box.listRows);
        for (int i = 0; i < shown; ++i) {
            out += textAt(fieldX + 4, top + 13 + i * PanelLayout::kListRowHeight, c.rows[i]);
        }
    } else {
        out += rect(fieldX, top, box.fieldWidth, box.fieldHeight, field);
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
    return out;
}

// One control as a group: its kind, label and place as data, a button as
// its face, any other as its label and its field.
std::string controlSvg(const ControlBox& box) {
    const PanelControl& c = *box.control;
    const int x = box.x;
    const int top = box.y + kTitleBar;
    const int baseline = top + 11;
    std::string out = "<g class=\"control\" data-type=\"" + escapeXml(c.typeName) +
                      "\" data-label=\"" + escapeXml(c.label) + "\" data-x=\"" +
                      std::to_string(c.x) + "\" data-y=\"" + std::to_string(c.y) +
                      "\" data-label-width=\"" + std::to_string(c.labelWidth) + "\">\n";
    if (c.typeName == kControlNameButton) {
        out += rect(x, top, box.fieldWidth, box.fieldHeight, "fill=\"#e0e0e0\" stroke=\"#303030\"");
        out += textAt(x + 10, baseline, c.label);
    } else {
        out += textAt(x, baseline, c.label);
        out += fieldSvg(c, box, top, baseline);
    }
    return out + "</g>\n";
}

} // namespace

std::string PanelHost::svg(const Panel& panel) {
    const PanelLayout layout = layoutOf(panel);
    const int width = layout.width;
    const int height = layout.height;
    std::string out;
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
           "\" height=\"" + std::to_string(height + kTitleBar) +
           "\" xml:space=\"preserve\" font-family=\"monospace\" " + "font-size=\"8.33\">\n";
    out += rect(0, 0, width, kTitleBar, "fill=\"#4a5a7a\"");
    out += textAt(6, 15, panel.title, " fill=\"#ffffff\" font-size=\"11\"");
    out += rect(0, kTitleBar, width, height, "fill=\"#c8c8c8\" stroke=\"#404040\"");
    for (const ControlBox& box : layout.boxes) {
        out += controlSvg(box);
    }
    out += "</svg>\n";
    return out;
}

} // namespace standin
