#pragma once

#include "Browser.h"
#include "LoginStore.h"
#include "MessageBoxes.h"
#include "Sounds.h"

namespace kivora::platform {

// The platform services a window may use, handed to windows by reference so that
// tests give them recording fakes.
struct Platform {
    IMessageBoxes& messageBoxes;
    IBrowser& browser;
    ISounds& sounds;
    ILoginStore& loginStore;
};

} // namespace kivora::platform
