// Scripts of user actions for the stand-in host's panels: what the user
// types, presses and picks while a panel is open, as text and back.
#pragma once

#include <string>
#include <vector>

namespace standin {

// One thing the user does while a panel is open.
struct PanelAction {
    enum class Kind {
        Type,  // type numbers into the control labelled label
        Press, // press the button labelled label
        Pick,  // pick row of the panel's list box
        Close, // close the panel with its OK button: open returns 1
        Cancel // close the panel any other way: open returns 0
    };
    Kind kind = Kind::Close;
    std::string label;
    std::vector<double> numbers; // Type: one number, or three for a vector control
    int row = 0;                 // Pick
};

// A script as text, one action a line:
//   type "Freqency Time" 0.5        type "Freq Width X,Y,Z" 1 2 3
//   press "ADD KEY"                 pick 2
//   close                           cancel
// Blank lines and lines beginning with # are skipped. False with error set
// (one line, naming the line number) on the first line that is not an action.
bool parsePanelScript(const std::string& text, std::vector<PanelAction>& actions,
                      std::string& error);
// One action as a script line; parsePanelScript reads it back unchanged.
std::string formatPanelAction(const PanelAction& action);
// value through a printf format for one double (scripts write "%.17g", so
// that a typed number reads back the same).
std::string printedNumber(double value, const char* format);

} // namespace standin
