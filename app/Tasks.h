#pragma once

class MainMenu;

// Tells the main menu how to make each task window.
void registerTasks(MainMenu &menu);
