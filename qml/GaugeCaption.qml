import QtQuick 2.5
import QtQuick.Controls 2.14
import QtQuick.Layouts 1.14

// The settings panel of one channel: its tolerance limits, edited straight in the
// channel's InputIndicator, and the choice of the alarm sound, which the window's
// alarms read from `audioEnable` and `longPlay`.
Item {
    id: gaugeCaption

    property InputIndicator inputIndicator
    property string capName: "text"
    property bool audioEnable: false
    property bool longPlay: false
    property Theme theme: Theme {}

    Column {
        id: colCaption
        spacing: 5
        anchors.horizontalCenter: parent.horizontalCenter

        Text {
            id: txSpacer
            text: " "
            color: theme.text
            anchors.horizontalCenter: parent.horizontalCenter
        }

        Text {
            id: txCapName
            objectName: "txCapName"
            text: capName
            color: theme.text
            anchors.horizontalCenter: parent.horizontalCenter
        }

        Grid {
            id: grCaption
            rows: 3
            columns: 2
            spacing: 2
            anchors.horizontalCenter: parent.horizontalCenter

            // The leading line break sets each label one line below its control's top.
            Text {
                text: "\nВерхнее предельное отклонение   "
                color: theme.text
            }

            EntryField {
                id: tfHiLimit
                objectName: "tfHiLimit"
                width: gaugeCaption.width / 4
                text: inputIndicator.highLimit
                validator: IntValidator {
                    bottom: -20
                    top: 20
                }
                inputMethodHints: Qt.ImhDigitsOnly
                font.pixelSize: 12
                // Only a completed edit reaches the dial and the alarms: a half-typed
                // limit would recolour the scale and beep at every keystroke.
                color: theme.text
                onEditingFinished: inputIndicator.highLimit = text
            }

            Text {
                text: "\nНижнее предельное отклонение   "
                color: theme.text
            }

            EntryField {
                id: tfLoLimit
                objectName: "tfLoLimit"
                width: tfHiLimit.width
                text: inputIndicator.lowLimit
                validator: IntValidator {
                    bottom: -20
                    top: 20
                }
                inputMethodHints: Qt.ImhDigitsOnly
                font.pixelSize: tfHiLimit.font.pixelSize
                color: theme.text
                onEditingFinished: inputIndicator.lowLimit = text
            }

            Text {
                text: "\nЗвуковое оповещение   "
                color: theme.text
            }

            ChoiceBox {
                id: cbSound
                objectName: "cbSound"
                theme: gaugeCaption.theme
                width: tfHiLimit.width
                model: ["Выключено", "Короткое", "Длинное"]
                // The length first: a beep that starts because the sound was just
                // switched on must already have the chosen length.
                onCurrentIndexChanged: {
                    if (currentIndex === 0) {
                        audioEnable = false
                    } else if (currentIndex === 1) {
                        longPlay = false
                        audioEnable = true
                    } else if (currentIndex === 2) {
                        longPlay = true
                        audioEnable = true
                    }
                }
            }
        }
    }
}
