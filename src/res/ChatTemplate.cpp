#include "DialogTemplates.h"

namespace kivora::res {

// A chat window: the header with the visitor and Close Chat, the operator panel
// (placed at run time) in the band below it, the transcript, the canned lists,
// the input with Send and the status line.
DialogTemplate MakeChatTemplate()
{
    using K = ControlKind;
    return DialogTemplate{
        IDD_CHAT, "", 384, 295, "MS Sans Serif", 8,
        {
            {kStaticId, K::GroupBox, "", 2, 0, 380, 22},
            {kStaticId, K::Label, "Visitor's Name:", 6, 8, 47, 8},
            {IDC_VISITOR_NAME, K::Label, "", 53, 8, 102, 8},
            {kStaticId, K::Label, "Email:", 159, 8, 20, 8},
            {IDC_EMAIL, K::HyperLink, "", 179, 8, 102, 8},
            {IDC_DURATION, K::Label, "00:00:00", 288, 8, 30, 8},
            {IDC_CLOSE_CHAT, K::PushButton, "&Close Chat", 326, 6, 54, 14},
            {kStaticId, K::GroupBox, "", 2, 119, 380, 163},
            {IDC_TRANSCRIPT, K::Custom, "", 5, 126, 373, 114},
            {IDC_CHAT_SOUND_OFF, K::CheckBox, "So&und Off", 5, 243, 48, 10},
            {kStaticId, K::Label, "&Responses:", 58, 243, 38, 8},
            {IDC_RESPONSES, K::ComboBox, "", 98, 242, 123, 140},
            {kStaticId, K::Label, "&Push URLs:", 224, 243, 38, 8},
            {IDC_PUSH_URLS, K::ComboBox, "", 263, 242, 115, 140},
            {IDC_INPUT, K::MultiLineEdit, "", 5, 258, 314, 21},
            {IDC_SEND, K::PushButton, "&Send", 324, 258, 54, 14},
            {IDC_CHAT_STATUS, K::Label, "", 2, 283, 380, 11, kStyleNoTabStop},
        }};
}

} // namespace kivora::res
