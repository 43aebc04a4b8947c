import QtQuick 2.14

// The window's colours in one place: the day set and, with `dark`, the night
// set for tunnels. Every colour a text is drawn in reaches a contrast of 4.5:1
// against the colour it is drawn on; the window's tests compute it from what
// the items actually show.
QtObject {
    property bool dark: false

    readonly property color background: dark ? "#121212" : "#ffffff"
    readonly property color text: dark ? "#e6e6e6" : "#000000"
    readonly property color disabledText: dark ? "#a6a6a6" : "#595959"
    readonly property color accent: dark ? "#90caf9" : "#1565c0"
    // A wrong entry named beside its field.
    readonly property color errorText: dark ? "#ff8a80" : "#c62828"

    // The dials. Marks out of tolerance stay the dial's tomato; texts out of
    // tolerance take a red that can be read on the dial.
    readonly property color dial: dark ? "#1f1f1f" : "#ffffe0"
    readonly property color dialText: dark ? "#ececec" : "#000000"
    readonly property color dialMark: dark ? "#cfcfcf" : "#000000"
    readonly property color outOfToleranceMark: "#ff6347"
    readonly property color outOfToleranceText: dark ? "#ff6347" : "#c62828"
    readonly property color overRangeText: dark ? "#00ffff" : "#006064"
    readonly property color staleText: dark ? "#9a9a9a" : "#595959"
    readonly property color needle: dark ? "#e6ffffff" : "#e6000000"
    readonly property color detectorOn: "#ffffe0"
    readonly property color detectorOff: "#000000"
    readonly property color detectorBorder: dark ? "#cfcfcf" : "#000000"

    // The status lamps above the dials.
    readonly property color lampBorder: dark ? "#bdbdbd" : "#000000"
    readonly property color lampIdle: dark ? "#5f5f5f" : "#d3d3d3"
    readonly property color lampRecording: dark ? "#2ea043" : "#008000"
    readonly property color lampPaused: dark ? "#f03c3c" : "#ff0000"
    readonly property color lampLinkLost: dark ? "#ffa000" : "#ff8f00"
    readonly property color lampReceiving: dark ? "#f0e68c" : "#ffffe0"
    readonly property color lampSilent: "#000000"
    readonly property color lampKept: dark ? "#448aff" : "#0000ff"
    readonly property color lampNotKept: dark ? "#2b2b2b" : "#ffffff"

    // Buttons and the pop-up lists of the selectors.
    readonly property color button: dark ? "#333333" : "#e0e0e0"
    readonly property color buttonPressed: dark ? "#4a4a4a" : "#bdbdbd"
    readonly property color buttonBorder: dark ? "#bdbdbd" : "#424242"
    readonly property color buttonText: dark ? "#f2f2f2" : "#000000"
    readonly property color buttonDisabled: dark ? "#242424" : "#eeeeee"
    readonly property color buttonDisabledBorder: dark ? "#5a5a5a" : "#9e9e9e"
    readonly property color buttonDisabledText: dark ? "#a8a8a8" : "#595959"
    readonly property color popup: dark ? "#2c2c2c" : "#ffffff"
    readonly property color popupBorder: dark ? "#9e9e9e" : "#757575"

    // Messages: light text on a colour that says what kind of message it is.
    readonly property color messageText: dark ? "#f2f2f2" : "#ffffff"
    readonly property color messageInfo: dark ? "#37474f" : "#455a64"
    readonly property color messageNotice: dark ? "#1f4466" : "#2f5f8a"
    readonly property color messageWarning: dark ? "#6b4400" : "#8d5a00"
    readonly property color messageError: dark ? "#8e1515" : "#b71c1c"
    readonly property color messageQuestion: dark ? "#7a3500" : "#a34700"
    readonly property color messageAttention: dark ? "#6b3410" : "#8b4513"
    readonly property color messageSuccess: dark ? "#14471a" : "#1b5e20"
}
