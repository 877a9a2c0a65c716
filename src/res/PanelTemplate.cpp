#include "DialogTemplates.h"

namespace kivora::res {

// The operator panel embedded in the console and in every chat window: the
// visitor's details, the operators on line with the message field, and a row of
// buttons placed at run time for its host.
DialogTemplate MakePanelTemplate()
{
    using K = ControlKind;
    return DialogTemplate{
        IDD_PANEL, "", 384, 102, "MS Sans Serif", 8,
        {
            {kStaticId, K::GroupBox, "Visitor Details", 1, 0, 382, 49},
            {kStaticId, K::Label, "URL :", 8, 8, 20, 8},
            {IDC_DETAIL_URL, K::HyperLink, "", 34, 8, 153, 8},
            {kStaticId, K::Label, "Browser :", 191, 8, 30, 8},
            {IDC_DETAIL_BROWSER, K::Label, "", 229, 8, 53, 8},
            {kStaticId, K::Label, "OS: ", 300, 8, 15, 8},
            {IDC_DETAIL_OS, K::Label, "", 323, 8, 50, 8},
            {kStaticId, K::Label, "Refere :", 8, 18, 28, 8},
            {IDC_DETAIL_REFERRER, K::HyperLink, "", 38, 18, 151, 8},
            {kStaticId, K::Label, "Screen Colors :", 191, 18, 51, 8},
            {IDC_DETAIL_COLORS, K::Label, "", 242, 18, 56, 8},
            {kStaticId, K::Label, "Java :", 300, 18, 20, 8},
            {IDC_DETAIL_JAVA, K::Label, "", 323, 18, 13, 8},
            {kStaticId, K::Label, "Country :", 8, 28, 29, 8},
            {IDC_DETAIL_COUNTRY, K::Label, "", 42, 28, 136, 8},
            {kStaticId, K::Label, "Region :", 191, 28, 28, 8},
            {IDC_DETAIL_REGION, K::Label, "", 222, 28, 66, 8},
            {kStaticId, K::Label, "City :", 300, 28, 16, 8},
            {IDC_DETAIL_CITY, K::Label, "", 323, 28, 56, 8},
            {kStaticId, K::Label, "GMT +/- UserTime :", 8, 38, 66, 8},
            {IDC_DETAIL_TIME, K::Label, "", 78, 38, 80, 8},
            {kStaticId, K::Label, "Language :", 191, 38, 50, 8},
            {IDC_DETAIL_LANGUAGE, K::Label, "", 244, 38, 74, 8},
            {kStaticId, K::Label, "O&nline Support Executives :", 2, 54, 89, 11},
            {IDC_OPERATORS, K::ComboBox, "", 94, 52, 73, 48},
            {IDC_MESSAGE, K::Edit, "", 169, 52, 156, 14},
            {IDC_SEND_MESSAGE, K::PushButton, "Send &Message", 329, 52, 54, 14},
            {IDC_BUTTON_ROW, K::GroupBox, "", 2, 66, 382, 26},
            {IDC_VIEW_MESSAGE, K::PushButton, "Vie&w Message", 44, 74, 54, 14},
            {IDC_CHAT_TRANSFER, K::PushButton, "C&hat Transfer", 138, 74, 54, 14, kStyleHidden},
            {IDC_CONTROL_PANEL, K::PushButton, "&Control Panel", 195, 74, 54, 14, kStyleHidden},
            {IDC_TRANSCRIPTS, K::PushButton, "&Transcripts", 251, 74, 54, 14},
            {IDC_LOG_OUT, K::PushButton, "&Log Out", 307, 74, 54, 14, kStyleHidden},
        }};
}

} // namespace kivora::res
