import QtQuick 2.14
import QtQuick.Controls 2.14
import QtQuick.Layouts 1.14

// The settings and recording page: the two channels' caption panels, the run's
// header (line, track, operator, trolley, calibration date), the theme and the
// archive switch, the start picket and the direction, and the button that
// starts and stops a recording.
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
    property bool archiveOn: true
    // The run's header as kept; the calibration date as dd.MM.yyyy, and what
    // is wrong with the one typed ("" when nothing is).
    property string runLine: ""
    property string runTrack: ""
    property string runOperator: ""
    property string runTrolley: ""
    property string calibrationText: ""
    property string calibrationHint: ""

    // The channels' sound choices, which the window's alarms read.
    readonly property alias verticalCaption: vCaption
    readonly property alias horizontalCaption: hCaption

    signal recordClicked()
    signal startPicketEntered(int picket)
    signal directionChosen(bool forward)
    signal themeChosen(bool dark)
    signal archiveChosen(bool on)
    // key: line, track, operator, trolley or calibrationValidUntil.
    signal headerEdited(string key, string text)

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

            EntryField {
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

    // The run's header, kept for the next start: two compact rows, fixed
    // while a recording runs, as the start picket is.
    GridLayout {
        id: grRunHeader
        objectName: "grRunHeader"
        anchors.bottom: rowTheme.top
        anchors.bottomMargin: 8
        anchors.horizontalCenter: parent.horizontalCenter
        columns: 6
        columnSpacing: 10
        rowSpacing: 4
        enabled: !measuring

        readonly property real fieldWidth: settingsPage.width / 7
        readonly property real pixelSize: txStartPicket.font.pixelSize

        component HeaderLabel: Text {
            color: theme.text
            font.pixelSize: grRunHeader.pixelSize
            Layout.alignment: Qt.AlignRight | Qt.AlignVCenter
        }

        component HeaderField: EntryField {
            property string key
            Layout.preferredWidth: grRunHeader.fieldWidth
            color: enabled ? theme.text : theme.disabledText
            placeholderTextColor: theme.disabledText
            font.pixelSize: grRunHeader.pixelSize
            selectByMouse: true
            onEditingFinished: headerEdited(key, text)
        }

        HeaderLabel { text: "линия" }
        HeaderField { objectName: "tfLine"; key: "line"; text: runLine }
        HeaderLabel { text: "путь" }
        HeaderField { objectName: "tfTrack"; key: "track"; text: runTrack }
        HeaderLabel { text: "оператор" }
        HeaderField { objectName: "tfOperator"; key: "operator"; text: runOperator }

        HeaderLabel { text: "номер тележки" }
        HeaderField { objectName: "tfTrolley"; key: "trolley"; text: runTrolley }
        HeaderLabel { text: "поверка действительна до" }
        HeaderField {
            id: tfCalibration
            objectName: "tfCalibration"
            key: "calibrationValidUntil"
            text: calibrationText
            placeholderText: "дд.мм.гггг"
            inputMethodHints: Qt.ImhDate
            // A date taken is shown the way it is kept, dd.MM.yyyy.
            Connections {
                target: settingsPage
                function onCalibrationTextChanged() { tfCalibration.text = calibrationText }
            }
        }
        Text {
            objectName: "txCalibrationHint"
            Layout.columnSpan: 2
            // Fixed, so that a wrapped hint never rearranges the grid.
            Layout.preferredWidth: grRunHeader.fieldWidth + 80
            Layout.preferredHeight: 2.6 * font.pixelSize
            verticalAlignment: Text.AlignVCenter
            maximumLineCount: 2
            elide: Text.ElideRight
            text: calibrationHint
            color: theme.errorText
            font.pixelSize: grRunHeader.pixelSize * 0.8
            wrapMode: Text.Wrap
        }
    }

    // Day or night colours, kept for the next start; and whether each save
    // goes into the run archive.
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

        Item { width: 30; height: 1 }

        Text {
            text: "Архив прогонов:"
            color: theme.text
            font.pixelSize: txStartPicket.font.pixelSize
            anchors.verticalCenter: parent.verticalCenter
        }

        ChoiceBox {
            id: cbArchive
            objectName: "cbArchive"
            theme: settingsPage.theme
            model: ["Включён", "Выключен"]
            width: cbDirection.width
            font.pixelSize: txStartPicket.font.pixelSize
            popup.font.pixelSize: txStartPicket.font.pixelSize
            currentIndex: archiveOn ? 0 : 1
            onActivated: archiveChosen(index === 0)
        }
    }

    GaugeCaption {
        id: vCaption
        objectName: "vCaption"
        anchors.top: parent.top
        anchors.bottom: grRunHeader.top
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
        anchors.bottom: grRunHeader.top
        anchors.left: vCaption.right
        anchors.right: parent.right
        capName: "Настройка индикатора\n         горизонтали"
        inputIndicator: inputHorizontal
        theme: settingsPage.theme
    }
}
