#include "DialogTemplates.h"

#include <map>

namespace kivora::res {

namespace {

using K = ControlKind;

} // namespace

// Login: the banner across the top, the three fields, Save Password and Login, the
// status line across the bottom. The About entry sits at the bottom left, where a
// desktop user looks for it when the window menu is not ours.
DialogTemplate MakeLoginTemplate()
{
    return DialogTemplate{
        IDD_LOGIN, "Kivora Executive Login:", 220, 150, "MS Sans Serif", 8,
        {
            {IDC_BANNER, K::Picture, "", 0, 0, 220, 44, kStyleNoTabStop},
            {kStaticId, K::Label, "&Site ID:", 24, 56, 52, 10},
            {IDC_SITE_ID, K::Edit, "", 80, 54, 116, 13},
            {kStaticId, K::Label, "&Login ID: ", 24, 73, 52, 10},
            {IDC_LOGIN_ID, K::Edit, "", 80, 71, 116, 13},
            {kStaticId, K::Label, "&Password: ", 24, 90, 52, 10},
            {IDC_PASSWORD, K::Edit, "", 80, 88, 116, 13, kStylePassword},
            {IDC_SAVE_PASSWORD, K::CheckBox, "S&ave Password", 80, 106, 70, 10},
            {IDC_LOGIN, K::PushButton, "L&ogin", 150, 104, 46, 14, kStyleDefault},
            {IDM_ABOUTBOX, K::LinkButton, "", 4, 124, 90, 10},
            {IDC_STATUS, K::Label, "", 0, 138, 220, 12, kStyleSunken | kStyleNoTabStop},
        }};
}

const DialogTemplate* FindDialogTemplate(int id)
{
    static const std::map<int, DialogTemplate> templates = {
        {IDD_LOGIN, MakeLoginTemplate()},
        {IDD_CONSOLE, MakeConsoleTemplate()},
        {IDD_PANEL, MakePanelTemplate()},
        {IDD_CHAT, MakeChatTemplate()},
        {IDD_POPUP, MakePopupTemplate()},
        {IDD_MESSAGE_VIEW, MakeMessageViewTemplate()},
    };
    const auto it = templates.find(id);
    return it == templates.end() ? nullptr : &it->second;
}

} // namespace kivora::res
