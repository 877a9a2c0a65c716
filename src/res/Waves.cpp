#include "Waves.h"

#include <QtCore/qglobal.h>

// The resource initialiser has to be named from the global namespace.
static void InitWaveResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(waves);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace kivora::res {

void RegisterWaves()
{
    InitWaveResources();
}

} // namespace kivora::res
