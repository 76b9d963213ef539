#include "standin/panel_layout.h"

#include <algorithm>

namespace standin {

namespace {

constexpr int kVectorPart = 64;
constexpr int kVectorGap = 4;
constexpr int kButtonPadding = 20;
constexpr int kInfoCharWidth = 8;
constexpr int kMinListWidth = 40;

void sizeField(ControlBox& box) {
    const PanelControl& control = *box.control;
    const std::string& type = control.typeName;
    box.fieldHeight = PanelLayout::kFieldHeight;
    if (type == kControlNameFloat) {
        box.fieldWidth = 80;
    } else if (type == kControlNameVector) {
        box.parts = 3;
        box.partWidth = kVectorPart;
        box.partStep = kVectorPart + kVectorGap;
        box.fieldWidth = 3 * kVectorPart + 2 * kVectorGap;
    } else if (type == kControlNameBool) {
        box.fieldWidth = PanelLayout::kFieldHeight;
    } else if (type == kControlNameButton) {
        box.fieldWidth =
            static_cast<int>(control.label.size()) * PanelHost::kCharWidth + kButtonPadding;
    } else if (type == kControlNameInfo) {
        box.fieldWidth = std::max(control.descriptor.width, 1) * kInfoCharWidth;
    } else if (type == kControlNameListBox) {
        box.listRows = std::max(control.descriptor.visibleRows, 1);
        box.fieldWidth = std::max(control.descriptor.width, kMinListWidth);
        box.fieldHeight = box.listRows * PanelLayout::kListRowHeight + 4;
    } else {
        box.fieldWidth = 60; // a number field, and any type the host draws plainly
    }
    if (box.parts == 1) {
        box.partWidth = box.fieldWidth;
        box.partStep = box.fieldWidth;
    }
}

} // namespace

PanelLayout layoutOf(const Panel& panel) {
    PanelLayout layout;
    int bottom = 0;
    for (const auto& control : panel.controls) {
        ControlBox box;
        box.control = control.get();
        box.x = static_cast<int>(control->x);
        box.y = static_cast<int>(control->y);
        // A button's label is its face: its field starts where it was placed.
        box.fieldX = box.x + static_cast<int>(control->labelWidth);
        sizeField(box);
        layout.width = std::max(layout.width, box.fieldX + box.fieldWidth + PanelLayout::kMargin);
        bottom = std::max(bottom, box.y + box.fieldHeight + PanelLayout::kMargin);
        layout.boxes.push_back(box);
    }
    layout.height = panel.heightSet ? panel.height : bottom;
    return layout;
}

std::vector<const ControlBox*> PanelLayout::screenOrder() const {
    std::vector<const ControlBox*> order;
    for (const ControlBox& box : boxes) {
        order.push_back(&box);
    }
    std::stable_sort(order.begin(), order.end(), [](const ControlBox* a, const ControlBox* b) {
        return a->y != b->y ? a->y < b->y : a->x < b->x;
    });
    return order;
}

} // namespace standin
