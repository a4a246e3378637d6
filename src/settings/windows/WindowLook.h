// Look and placement shared by the small windows of the suite.
#pragma once

class QLabel;
class QWidget;

// Moves window so that its frame is centred on the screen it belongs to (the primary screen
// when it has none yet). Does nothing when there is no screen.
void CentreOnScreen(QWidget& window);

// Gives label the headline look: maroon "Arial" 16 px, bold when asked.
void StyleAsHeadline(QLabel& label, bool bold);
