import QtQuick 2.14
import QtQuick.Controls 2.14

// The settings and recording page: the two channels' caption panels, the start
// picket and the direction, and the button that starts and stops a recording.
// It says what the operator entered or pressed; the window keeps the run.
Item {
    id: settingsPage

    property InputIndicator inputVertical
    property InputIndicator inputHorizontal
    property real picketHeight: 30
    property real recordPixelSize: 28
    property string recordText: ""
    property bool measuring: false
    property int currentPicket: 0
    property Theme theme: Theme {}
    property bool darkTheme: false

    // The channels' sound choices, which the window's alarms read.
    readonly property alias verticalCaption: vCaption
    readonly property alias horizontalCaption: hCaption

    signal recordClicked()
    signal startPicketEntered(int picket)
    signal directionChosen(bool forward)
    signal themeChosen(bool dark)

    RunButton {
        id: btRecord
        objectName: "btRecord"
        theme: settingsPage.theme
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        height: picketHeight
        text: recordText
        font.pixelSize: recordPixelSize
        onClicked: recordClicked()
    }

    Item {
        id: itPickCaption
        objectName: "itPickCaption"
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: btRecord.top
        height: picketHeight
        enabled: !measuring

        Grid {
            id: grPickCaption
            rows: 1
            columns: 4
            spacing: 10
            anchors.verticalCenter: parent.verticalCenter
            anchors.horizontalCenter: parent.horizontalCenter

            Text {
                id: txStartPicket
                objectName: "txStartPicket"
                text: "Стартовый пикет:"
                color: theme.text
                font.pixelSize: picketHeight / 4
            }

            TextField {
                id: startPicket
                objectName: "startPicket"
                // The picket the next recording starts at, also after picket
                // marks moved it on; typing over it sets another.
                text: currentPicket
                validator: IntValidator { bottom: 0; top: 999 }
                inputMethodHints: Qt.ImhDigitsOnly
                color: enabled ? theme.text : theme.disabledText
                font.pixelSize: txStartPicket.font.pixelSize
                onEditingFinished: startPicketEntered(Number(text))
                // Enter gives the keys back to the window.
                onAccepted: focus = false
            }

            Text {
                id: txDirection
                text: "Направление движения:"
                color: theme.text
                font.pixelSize: txStartPicket.font.pixelSize
            }

            ChoiceBox {
                id: cbDirection
                objectName: "cbDirection"
                theme: settingsPage.theme
                model: ["Прямое", "Обратное"]
                width: settingsPage.width / 5
                font.pixelSize: txStartPicket.font.pixelSize
                popup.font.pixelSize: txStartPicket.font.pixelSize
                onCurrentIndexChanged: {
                    if (currentIndex === 0)
                        directionChosen(true)
                    else if (currentIndex === 1)
                        directionChosen(false)
                }
            }
        }
    }

    // Day or night colours, kept for the next start.
    Row {
        id: rowTheme
        objectName: "rowTheme"
        anchors.bottom: itPickCaption.top
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 10

        Text {
            text: "Оформление:"
            color: theme.text
            font.pixelSize: txStartPicket.font.pixelSize
            anchors.verticalCenter: parent.verticalCenter
        }

        ChoiceBox {
            id: cbTheme
            objectName: "cbTheme"
            theme: settingsPage.theme
            model: ["Дневное", "Ночное"]
            width: cbDirection.width
            font.pixelSize: txStartPicket.font.pixelSize
            popup.font.pixelSize: txStartPicket.font.pixelSize
            currentIndex: darkTheme ? 1 : 0
            onActivated: themeChosen(index === 1)
        }
    }

    GaugeCaption {
        id: vCaption
        objectName: "vCaption"
        anchors.top: parent.top
        anchors.bottom: rowTheme.top
        anchors.left: parent.left
        width: parent.width / 2
        capName: "Настройка индикатора\n          вертикали"
        inputIndicator: inputVertical
        theme: settingsPage.theme
    }

    GaugeCaption {
        id: hCaption
        objectName: "hCaption"
        anchors.top: parent.top
        anchors.bottom: rowTheme.top
        anchors.left: vCaption.right
        anchors.right: parent.right
        capName: "Настройка индикатора\n         горизонтали"
        inputIndicator: inputHorizontal
        theme: settingsPage.theme
    }
}
