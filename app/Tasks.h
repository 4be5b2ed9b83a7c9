// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class MainMenu;

// Tells the main menu how to make each task window.
void registerTasks(MainMenu &menu);
