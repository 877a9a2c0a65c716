#pragma once

namespace kivora::res {

// Makes the program's sounds (:/waves/<id>.wav) available. They are compiled into
// a static library, whose resources the linker would otherwise leave out. Safe to
// call more than once.
void RegisterWaves();

} // namespace kivora::res
