import QtQuick 2.14
import QtQuick.Controls 2.14

// The choice that ОТМЕТКА opens: big buttons for the kinds of mark and one to
// cancel, then, for a defect or a note, a field for its text. Opaque in the
// theme's colours over whatever lies below. It says what was chosen or typed;
// the window hands the mark over and keeps the run going meanwhile.
Rectangle {
    id: markChoice

    property Theme theme: Theme {}
    // "choice" or "note".
    property string stage: "choice"
    property string positionText: ""
    property var names: []
    property string noteKind: ""
    property real buttonHeight: 56
    readonly property alias noteText: tfMarkNote.text

    signal chosen(int index)
    signal cancelled()
    signal noteDone(string text)

    function beginNote() {
        tfMarkNote.text = ""
        tfMarkNote.forceActiveFocus()
    }

    readonly property real padding: 14
    readonly property real spacing: 10
    readonly property real buttonWidth: (width - 2 * padding - 3 * spacing) / 4
    // As large as the longest kind lets it be on its button, within reason.
    readonly property real fontSize: Math.floor(Math.max(14, Math.min(26, buttonHeight * 0.4,
                                                                       (buttonWidth - 40) * 100 / tmLongest.advanceWidth)))

    TextMetrics {
        id: tmLongest
        font.pixelSize: 100
        text: "начало отвода"
    }

    height: colChoice.implicitHeight + 2 * padding
    color: theme.popup
    border.color: theme.popupBorder
    border.width: 2
    radius: 8

    // Taps on the panel between its buttons stay on it.
    MouseArea {
        anchors.fill: parent
    }

    Column {
        id: colChoice
        x: markChoice.padding
        y: markChoice.padding
        width: markChoice.width - 2 * markChoice.padding
        spacing: markChoice.spacing

        Text {
            objectName: "txMarkTitle"
            width: parent.width
            wrapMode: Text.Wrap
            color: theme.text
            font.pixelSize: markChoice.fontSize
            font.bold: true
            text: stage === "note"
                  ? "Отметка «" + noteKind + "», " + positionText + ". Текст к ней (Enter — записать):"
                  : "Отметка на " + positionText + " (клавиши 1–7, Esc — отмена):"
        }

        Grid {
            visible: stage === "choice"
            columns: 4
            spacing: markChoice.spacing

            Repeater {
                model: names
                RunButton {
                    objectName: "btMarkKind" + index
                    theme: markChoice.theme
                    width: markChoice.buttonWidth
                    height: markChoice.buttonHeight
                    text: modelData
                    font.pixelSize: markChoice.fontSize
                    // The kinds as the operator says them, not in capitals.
                    font.capitalization: Font.MixedCase
                    onClicked: chosen(index)
                }
            }

            RunButton {
                objectName: "btMarkCancel"
                theme: markChoice.theme
                width: markChoice.buttonWidth
                height: markChoice.buttonHeight
                text: "Отмена"
                font.pixelSize: markChoice.fontSize
                onClicked: cancelled()
            }
        }

        TextField {
            id: tfMarkNote
            objectName: "tfMarkNote"
            visible: stage === "note"
            width: parent.width
            color: theme.text
            placeholderText: "например: скол головки, 3 см"
            placeholderTextColor: theme.disabledText
            font.pixelSize: markChoice.fontSize
            // Taken here: a text field lets Enter go on to the window, whose
            // Enter would then start to stop the recording.
            Keys.onReturnPressed: noteDone(text)
            Keys.onEnterPressed: noteDone(text)
            Keys.onEscapePressed: noteDone("")
        }

        Row {
            visible: stage === "note"
            spacing: markChoice.spacing
            anchors.right: parent.right

            RunButton {
                objectName: "btMarkNoteDone"
                theme: markChoice.theme
                width: markChoice.buttonWidth
                height: markChoice.buttonHeight
                text: "Записать"
                font.pixelSize: markChoice.fontSize
                onClicked: noteDone(tfMarkNote.text)
            }

            RunButton {
                objectName: "btMarkNoteSkip"
                theme: markChoice.theme
                width: markChoice.buttonWidth
                height: markChoice.buttonHeight
                text: "Без текста"
                font.pixelSize: markChoice.fontSize
                onClicked: noteDone("")
            }
        }
    }
}
