#pragma once

#include <string_view>
#include <vector>

namespace kivora::res {

// The windows' layouts as data: sizes and rectangles in dialog units, control ids,
// texts and styles. src/ui builds the widgets from them.

enum class ControlKind {
    Label,       // static text; a mnemonic in it focuses the next control
    Edit,        // one-line edit
    CheckBox,    // auto check box
    RadioButton, // auto radio button
    PushButton,
    Picture,     // static picture that reports clicks
    LinkButton,  // small flat button that reads as a link
};

enum ControlStyle : unsigned {
    kStyleNone = 0,
    kStylePassword = 1u << 0,
    kStyleDefault = 1u << 1,  // default push button: Enter presses it
    kStyleDisabled = 1u << 2,
    kStyleNoTabStop = 1u << 3,
    kStyleReadOnly = 1u << 4,
    kStyleCentered = 1u << 5,
    kStyleSunken = 1u << 6,
};

inline constexpr int kStaticId = -1; // labels nobody looks up

struct ControlTemplate {
    int id;
    ControlKind kind;
    std::string_view text;
    int x, y, cx, cy;
    unsigned style = kStyleNone;
};

struct DialogTemplate {
    int id;
    std::string_view caption;
    int cx, cy;
    std::string_view fontFamily; // empty: the desktop's sans font
    int fontPoints;
    std::vector<ControlTemplate> controls; // in tab order
};

// The template with that id, or null.
const DialogTemplate* FindDialogTemplate(int id);

// Dialog and control ids used by more than one piece of code.
enum DialogId : int {
    IDD_LOGIN = 102,
};

enum LoginControlId : int {
    IDC_SITE_ID = 1000,
    IDC_LOGIN_ID = 1001,
    IDC_PASSWORD = 1002,
    IDC_SAVE_PASSWORD = 1060,
    IDC_LOGIN = 1039,
    IDC_STATUS = 1068,
    IDC_BANNER = 1073,
    IDM_ABOUTBOX = 16,
};

} // namespace kivora::res
