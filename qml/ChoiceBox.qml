import QtQuick 2.14
import QtQuick.Controls 2.14

// A selector of the window. Its list pops up opaque over what lies below (the
// style's shadowed pop-up comes out see-through under the software renderer),
// its text keeps the theme's contrast also while it is disabled, and it takes
// no keyboard focus, which belongs to the window's keys.
ComboBox {
    id: choiceBox

    property Theme theme: Theme {}

    focusPolicy: Qt.NoFocus
    hoverEnabled: false

    // Within the box's own padding, which leaves room for the indicator.
    contentItem: Text {
        leftPadding: 12
        rightPadding: 1
        text: choiceBox.displayText
        font: choiceBox.font
        color: choiceBox.enabled ? theme.text : theme.disabledText
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }

    background: Rectangle {
        implicitWidth: 120
        implicitHeight: 40
        color: choiceBox.enabled ? theme.button : theme.buttonDisabled
        border.width: 1
        border.color: choiceBox.enabled ? theme.buttonBorder : theme.buttonDisabledBorder
        radius: 4
    }

    delegate: ItemDelegate {
        id: idChoice
        width: choiceBox.popup.availableWidth
        text: modelData
        font: choiceBox.popup.font
        highlighted: choiceBox.highlightedIndex === index
        hoverEnabled: false
        contentItem: Text {
            text: idChoice.text
            font: idChoice.font
            color: theme.text
            verticalAlignment: Text.AlignVCenter
            elide: Text.ElideRight
        }
        background: Rectangle {
            color: idChoice.highlighted ? theme.button : theme.popup
        }
    }

    // Room for the frame around the list.
    popup.padding: 1
    popup.height: popup.contentItem.implicitHeight + 2
    popup.background: Rectangle {
        color: theme.popup
        border.color: theme.popupBorder
        border.width: 1
        radius: 2
    }
}
