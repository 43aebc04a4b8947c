import QtQuick 2.5

// The state of one measuring channel as the dial, the caption panel, the run
// control and the alarms see it. The main window owns one per axis and writes
// `mess` at every poll; everyone else reads `mess` + `zeroShift`.
Item {
    id: inputIndicator
    objectName: "inputIndicator"

    property real input: 0
    property real convertation: 1
    property real mess: input * convertation
    property int accuracy: 0
    property real lowLimit: -50
    property real highLimit: 50
    property real zeroShift: 0
    property real unitPoint: 1
    property string messUnit: "_____"
    property int accurDivision: 0
    property bool blDetect1EnableInput: false
    property bool blDetect2EnableInput: false
    property bool blDetect1WorkInput: true
    property bool blDetect2WorkInput: true
    property bool blOverRange1: false
    property bool blOverRange2: false

    // The window writes `mess` directly, which ends its binding; these keep it
    // following `input` and `convertation` all the same.
    onInputChanged: mess = input * convertation
    onConvertationChanged: mess = input * convertation

    // A single new value is smoothed over a fifth of a second, so that the
    // needle and the value text do not jump. Values that come faster than that
    // (the trolley streams 20 a second) are taken as they come: a run restarted
    // at every value would never end, and the window would be drawn at every
    // screen refresh instead of once a value.
    Behavior on mess {
        id: bhMess
        onTargetValueChanged: {
            enabled = !timerStream.running
            timerStream.restart()
        }
        NumberAnimation {
            duration: 200
            easing.type: Easing.InOutQuad
        }
    }

    // Running while the last new value is less than a run old.
    Timer {
        id: timerStream
        objectName: "timerStream"
        interval: 200
    }
}
