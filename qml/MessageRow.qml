import QtQuick 2.14
import QtQuick.Controls 2.14
import QtQuick.Layouts 1.14

// One message for the operator in the strip below the window's pages: a text
// and, when the message asks something, the answers as buttons, left to right.
// The buttons are named after the row: "<objectName>Button0", "...1", ...
Rectangle {
    id: messageRow

    property string text: ""
    // Paths that stand in the text: a line breaks only between their parts,
    // never inside a folder's or a file's name.
    property var paths: []
    property var answers: []
    // Per answer, whether its button can be pressed now; answers past its end can.
    property var answersEnabled: []
    property Theme theme: Theme {}

    signal answered(int index)

    // Breaks are allowed after each separator only: word joiners after the
    // hyphens and no-break spaces inside the names keep every part whole.
    function breakableText(text, paths) {
        // The longest first: a folder's path must not take apart a file's in it.
        paths = paths.filter(function (p) { return p !== "" }).sort(function (a, b) { return b.length - a.length })
        for (var i = 0; i < paths.length; i++) {
            var parts = paths[i].split(/([\/\\])/)
            var path = ""
            for (var j = 0; j < parts.length; j++) {
                // Not after a root ("/", "C:\\"): a lone "/" ending a line reads as no path.
                if ((parts[j] === "/" || parts[j] === "\\") && j === 1 && /^([A-Za-z]:)?$/.test(parts[0]))
                    path += parts[j] + "\u2060"
                else if (parts[j] === "/" || parts[j] === "\\")
                    path += parts[j] + "\u200b"
                else
                    path += parts[j].replace(/-/g, "-\u2060").replace(/ /g, "\u00a0")
            }
            text = text.split(paths[i]).join(path)
        }
        return text
    }

    width: parent ? parent.width : 0
    height: Math.max(64, txMessage.implicitHeight + 16, rlAnswers.implicitHeight + 16)
    color: theme.messageError

    Text {
        id: txMessage
        objectName: messageRow.objectName + "Text"
        anchors.left: parent.left
        anchors.right: rlAnswers.left
        anchors.verticalCenter: parent.verticalCenter
        anchors.leftMargin: 10
        anchors.rightMargin: 10
        text: breakableText(messageRow.text, messageRow.paths)
        color: theme.messageText
        font.pixelSize: 18
        font.bold: true
        wrapMode: Text.Wrap
    }

    RowLayout {
        id: rlAnswers
        anchors.right: parent.right
        anchors.rightMargin: 8
        anchors.verticalCenter: parent.verticalCenter
        spacing: 8

        Repeater {
            model: messageRow.answers
            RunButton {
                objectName: messageRow.objectName + "Button" + index
                theme: messageRow.theme
                text: modelData
                enabled: index >= messageRow.answersEnabled.length || messageRow.answersEnabled[index]
                font.pixelSize: 18
                onClicked: messageRow.answered(index)
            }
        }
    }
}
