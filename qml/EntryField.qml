import QtQuick 2.14
import QtQuick.Controls 2.14

// A text field on a page of the run's window. Enter with acceptable text gives
// the keys back to the window (the edit then finishes) and goes no further: a
// text field lets Enter on to its parent, and the window's Enter starts a
// recording or the hold that stops one.
TextField {
    Keys.onReturnPressed: if (acceptableInput) focus = false
    Keys.onEnterPressed: if (acceptableInput) focus = false
}
