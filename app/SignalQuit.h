// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <initializer_list>

// Ends the program as its own end does when the terminal or the desktop stops it (Ctrl+C,
// logging out, kill): each of the signals leaves the event loop, so that everything after
// QCoreApplication::exec() runs, the backup at the end and the removal of a demo folder
// included. The handler only writes a byte to a socket pair; the event loop reads it.
namespace SignalQuit {

// Call once, after the QCoreApplication exists. False when the socket pair or a handler could
// not be set up (the signals then end the program as they did before).
bool install(std::initializer_list<int> signalNumbers);

} // namespace SignalQuit
