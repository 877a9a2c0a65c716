#pragma once

namespace kivora::res {

// The program's wave sounds, by resource id.
enum WaveId : int {
    kWaveMessage = 140,      // "sound3": operator messages
    kWaveTransfer = 141,     // "sound2": a chat handed over to this operator
    kWaveChatRequest = 143,  // "sound1": a visitor asks for a chat
    kWaveNewLine = 154,      // a new line in a chat window
    kWaveNewVisitor = 168,   // a visitor has just arrived
};

// Makes the program's sounds (:/waves/<id>.wav) available. They are compiled into
// a static library, whose resources the linker would otherwise leave out. Safe to
// call more than once.
void RegisterWaves();

} // namespace kivora::res
