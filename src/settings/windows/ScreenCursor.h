// The screen cursor: one state for the whole program, shown as Qt's override cursor.
#pragma once

enum class ScreenCursor { Default, Hourglass };

// Sets the program's screen cursor. With a GUI application the hourglass is Qt's override
// wait cursor (pushed once, however often it is set); without one only the state is kept.
void SetScreenCursor(ScreenCursor cursor);

// Returns the state last set (Default at start).
ScreenCursor CurrentScreenCursor();

// Returns true iff the current state is the hourglass.
bool ScreenCursorIsHourglass();
