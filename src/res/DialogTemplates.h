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
    GroupBox,    // frame with an optional title, drawn behind the controls
    ComboBox,    // drop-down list
    HyperLink,   // static text used as a link
    ListView,    // report-view list of rows and columns
    MultiLineEdit, // edit of several lines
    Custom,      // a place the window fills with a widget of its own
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
    kStyleHidden = 1u << 7,
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

// Each window's template, kept beside the others in src/res.
DialogTemplate MakeLoginTemplate();
DialogTemplate MakeConsoleTemplate();
DialogTemplate MakePanelTemplate();
DialogTemplate MakeChatTemplate();
DialogTemplate MakePopupTemplate();
DialogTemplate MakeMessageViewTemplate();

// Dialog and control ids used by more than one piece of code.
enum DialogId : int {
    IDD_LOGIN = 102,
    IDD_CONSOLE = 130,
    IDD_PANEL = 138,
    IDD_CHAT = 148,
    IDD_POPUP = 155,
    IDD_MESSAGE_VIEW = 158,
};

enum AuxiliaryControlId : int {
    IDC_POPUP_TEXT = 1070,
    IDC_MESSAGE_VIEW_TEXT = 1062,
    IDC_MESSAGE_VIEW_OK = 1,
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

enum PanelControlId : int {
    IDC_DETAIL_URL = 1028,
    IDC_DETAIL_BROWSER = 1029,
    IDC_DETAIL_OS = 1030,
    IDC_DETAIL_REFERRER = 1031,
    IDC_DETAIL_COLORS = 1032,
    IDC_DETAIL_JAVA = 1033,
    IDC_DETAIL_COUNTRY = 1034,
    IDC_DETAIL_REGION = 1035,
    IDC_DETAIL_CITY = 1036,
    IDC_DETAIL_TIME = 1037,
    IDC_DETAIL_LANGUAGE = 1038,
    IDC_OPERATORS = 1043,
    IDC_SEND_MESSAGE = 1044,
    IDC_VIEW_MESSAGE = 1045,
    IDC_CONTROL_PANEL = 1046,
    IDC_TRANSCRIPTS = 1047,
    IDC_LOG_OUT = 1048,
    IDC_CHAT_TRANSFER = 1049,
    IDC_MESSAGE = 1062,
    IDC_BUTTON_ROW = 1069,
};

enum ChatControlId : int {
    IDC_PUSH_URLS = 1025,
    IDC_TRANSCRIPT = 1026,
    IDC_INPUT = 1027,
    IDC_RESPONSES = 1029,
    IDC_DURATION = 1037,
    IDC_SEND = 1063,
    IDC_CHAT_STATUS = 1068,
    IDC_CLOSE_CHAT = 1074,
    IDC_EMAIL = 1075,
    IDC_CHAT_SOUND_OFF = 1076,
    IDC_VISITOR_NAME = 1079,
};

enum ConsoleControlId : int {
    IDC_LIST = 1003,
    IDC_DELETE = 1012,
    IDC_PROACTIVE_URL = 1013,
    IDC_SEND_PROACTIVE = 1016,
    IDC_SAME_WINDOW = 1017,
    IDC_ACCEPT = 1040,
    IDC_BUSY = 1041,
    IDC_INVITE = 1042,
    IDC_SITE_LINK = 1050,
    IDC_OPERATOR_CAPTION = 1051,
    IDC_ONLINE = 1053,
    IDC_OFFLINE = 1054,
    IDC_VIEW_DETAILS = 1064,
    IDC_SOUND_OFF = 1076,
};

} // namespace kivora::res
