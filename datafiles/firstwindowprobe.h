#pragma once

// For checking an installed program without a person at the screen: when the
// environment variable FENWARY_FIRST_WINDOW is set, the first window the program
// shows is described on standard output (object name, title, its "dataFolder"
// property when it has one, the texts of its labels), saved as a picture when the variable names a ".png" file, and the
// program then ends with exit code 0. Does nothing when the variable is not set.
void installFirstWindowProbe();
