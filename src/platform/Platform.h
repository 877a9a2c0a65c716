#pragma once

#include "Browser.h"
#include "LoginStore.h"
#include "MessageBoxes.h"
#include "Sounds.h"
#include "Tray.h"

namespace kivora::platform {

// The platform services a window may use, handed to windows by reference so that
// tests give them recording fakes.
struct Platform {
    IMessageBoxes& messageBoxes;
    IBrowser& browser;
    ISounds& sounds;
    ILoginStore& loginStore;
    ITray& tray;
};

} // namespace kivora::platform
