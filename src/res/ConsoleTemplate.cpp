#include "DialogTemplates.h"

namespace kivora::res {

// The console: presence and who is logged in on top, the visitor list, the row of
// visitor actions, the proactive invitation row; the operator panel fills the
// lower part (placed at run time).
DialogTemplate MakeConsoleTemplate()
{
    using K = ControlKind;
    return DialogTemplate{
        IDD_CONSOLE, "Kivora", 400, 295, "MS Sans Serif", 8,
        {
            {IDC_ONLINE, K::RadioButton, "&Online", 6, 6, 40, 10},
            {IDC_OFFLINE, K::RadioButton, "O&ffline", 48, 6, 44, 10},
            {kStaticId, K::Label, "Site:", 100, 7, 18, 8},
            {IDC_SITE_LINK, K::HyperLink, "", 120, 7, 150, 8},
            {IDC_OPERATOR_CAPTION, K::Label, "", 274, 7, 122, 8},
            {IDC_LIST, K::ListView, "", 4, 20, 392, 120},
            {IDC_VIEW_DETAILS, K::PushButton, "&View Details", 4, 144, 58, 14, kStyleDisabled},
            {IDC_ACCEPT, K::PushButton, "&Accept", 66, 144, 50, 14, kStyleDisabled},
            {IDC_BUSY, K::PushButton, "&Busy", 120, 144, 50, 14, kStyleDisabled},
            {IDC_INVITE, K::PushButton, "&Invite", 174, 144, 50, 14, kStyleDisabled},
            {IDC_DELETE, K::PushButton, "&Delete", 228, 144, 50, 14, kStyleDisabled},
            {IDC_SOUND_OFF, K::CheckBox, "So&und Off", 336, 146, 60, 10},
            {kStaticId, K::Label, "&Proactive Pop URL :", 4, 166, 68, 8},
            {IDC_PROACTIVE_URL, K::Edit, "", 74, 164, 160, 13},
            {IDC_SAME_WINDOW, K::CheckBox, "Op&en in Same Window", 240, 166, 94, 10},
            {IDC_SEND_PROACTIVE, K::PushButton, "&Send", 346, 163, 50, 14, kStyleDisabled},
        }};
}

} // namespace kivora::res
