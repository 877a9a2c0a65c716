#include "DialogTemplates.h"

namespace kivora::res {

// The chat-request pop-up: one line of text that reacts to a click.
DialogTemplate MakePopupTemplate()
{
    using K = ControlKind;
    return DialogTemplate{
        IDD_POPUP, "", 120, 17, "MS Sans Serif", 8,
        {
            {IDC_POPUP_TEXT, K::Label, "", 1, 4, 118, 10},
        }};
}

} // namespace kivora::res
