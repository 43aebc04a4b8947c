import QtQuick 2.14
import QtQuick.Controls 2.14

// A button the operator presses during a run: a framed face in the theme's
// colours, so that it reads as a button also at night and when disabled, at
// least 48 px each way for a gloved finger, with no hover or ripple marks that
// stay behind. It never takes the keyboard focus: the window's keys must reach
// the window, not a button that was tapped last.
Button {
    id: runButton

    property Theme theme: Theme {}

    focusPolicy: Qt.NoFocus
    hoverEnabled: false
    topInset: 0
    bottomInset: 0
    leftInset: 0
    rightInset: 0
    horizontalPadding: 16
    verticalPadding: 4
    implicitWidth: Math.max(48, contentItem.implicitWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(48, contentItem.implicitHeight + topPadding + bottomPadding)

    contentItem: Text {
        text: runButton.text
        font: runButton.font
        color: runButton.enabled ? theme.buttonText : theme.buttonDisabledText
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }

    background: Rectangle {
        color: !runButton.enabled ? theme.buttonDisabled : runButton.down ? theme.buttonPressed : theme.button
        border.width: 2
        border.color: runButton.enabled ? theme.buttonBorder : theme.buttonDisabledBorder
        radius: 6
    }
}
