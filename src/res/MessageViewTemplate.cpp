#include "DialogTemplates.h"

namespace kivora::res {

// A message fetched from the service, shown read-only with OK below it.
DialogTemplate MakeMessageViewTemplate()
{
    using K = ControlKind;
    return DialogTemplate{
        IDD_MESSAGE_VIEW, "Message from Support Operator", 217, 126, "MS Sans Serif", 8,
        {
            {IDC_MESSAGE_VIEW_TEXT, K::MultiLineEdit, "", 6, 7, 204, 92, kStyleReadOnly},
            {IDC_MESSAGE_VIEW_OK, K::PushButton, "OK", 84, 107, 50, 14, kStyleDefault},
        }};
}

} // namespace kivora::res
