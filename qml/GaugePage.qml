import QtQuick 2.14
import QtQml 2.14

// The indicator page: both dials with their captions, the three status lamps,
// the last mark, the mark choice and the picket strip with the position and
// the ПАУЗА, ОТМЕТКА and ПИКЕТ buttons. It
// shows what the window gives it and says which button was pressed; the
// window keeps the run's state.
Item {
    id: gaugePage

    property InputIndicator inputVertical
    property InputIndicator inputHorizontal
    property int gaugeMargin: 10
    property real gaugeSize: 0
    property real picketHeight: 30
    property string positionText: ""
    property bool measuring: false
    property bool pause: false
    property bool live: true
    // "searching", "live" or "lost", as the controller says.
    property string linkState: "live"
    property bool receiveLit: true
    property bool keepLit: false
    property Theme theme: Theme {}
    // The mark choice: "" closed, "choice" (the kinds), "note" (the text of
    // a defect or a note); where ОТМЕТКА was pressed; the kinds' names; the
    // kind whose text is typed; the last mark, shown for a few seconds.
    property string markStage: ""
    property string markPositionText: ""
    property var markNames: []
    property string noteKind: ""
    property string lastMarkText: ""
    readonly property alias markNoteText: markChoice.noteText

    // What the window's sizing reads.
    readonly property alias captionPixelSize: txVertical.font.pixelSize
    readonly property alias picketStrip: itPicket
    readonly property alias stripPixelSize: itPicket.pixelSize
    readonly property alias verticalGauge: gaugeVertical

    signal pauseClicked()
    signal picketClicked()
    signal markClicked()
    signal markChosen(int index)
    signal markCancelled()
    signal markNoteDone(string text)

    // The text field of a defect or a note gets the keys, emptied.
    function beginMarkNote() {
        markChoice.beginNote()
    }

    ImpGauge {
        id: gaugeVertical
        objectName: "gaugeVertical"
        inputIndicator: inputVertical
        theme: gaugePage.theme
        live: gaugePage.live
        anchors.left: parent.left
        anchors.top: parent.top
        anchors.leftMargin: gaugeMargin
        anchors.topMargin: gaugeMargin
        width: gaugeSize
        height: gaugeSize
    }

    ImpGauge {
        id: gaugeHorizontal
        objectName: "gaugeHorizontal"
        inputIndicator: inputHorizontal
        theme: gaugePage.theme
        live: gaugePage.live
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.rightMargin: gaugeMargin
        anchors.topMargin: gaugeMargin
        width: gaugeSize
        height: gaugeSize
    }

    Text {
        id: txVertical
        objectName: "txVertical"
        text: "Вертикаль"
        font.pixelSize: 20
        color: theme.text
        anchors.top: gaugeVertical.bottom
        anchors.horizontalCenter: gaugeVertical.horizontalCenter
    }

    Text {
        id: txHorizontal
        text: "Горизонталь"
        font.pixelSize: txVertical.font.pixelSize
        color: theme.text
        anchors.top: gaugeHorizontal.bottom
        anchors.horizontalCenter: gaugeHorizontal.horizontalCenter
    }

    // The status lamps, each with a short name below it: a tool tip never
    // reaches a touch screen or a gloved hand.
    Row {
        id: rowLamps
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.top: parent.top
        anchors.topMargin: 20
        spacing: 8

        StatusLamp {
            id: recordIndicator
            objectName: "recordIndicator"
            theme: gaugePage.theme
            label: "Режим"
            toolTip: "Режим работы"
            // A recording without the trolley's values has a colour of its own.
            color: !measuring ? theme.lampIdle : linkState === "lost" ? theme.lampLinkLost
                                                : pause ? theme.lampPaused : theme.lampRecording
        }

        StatusLamp {
            id: receiveIndicator
            objectName: "receiveIndicator"
            theme: gaugePage.theme
            label: "Связь"
            toolTip: "Связь с оборудованием"
            color: receiveLit ? theme.lampReceiving : theme.lampSilent
        }

        StatusLamp {
            id: keepIndicator
            objectName: "keepIndicator"
            theme: gaugePage.theme
            label: "Запись"
            toolTip: "Запись показаний"
            color: keepLit ? theme.lampKept : theme.lampNotKept
        }
    }

    // The last mark, between the dials below the lamps.
    Text {
        id: txLastMark
        objectName: "txLastMark"
        visible: text !== ""
        // A line breaks before the position, never within it.
        text: lastMarkText.replace(/ПК (-?\d+) ([+-]) ([\d.]+) м/, "ПК\u00a0$1\u00a0$2\u00a0$3\u00a0м")
        anchors.top: rowLamps.bottom
        anchors.topMargin: 12
        anchors.horizontalCenter: parent.horizontalCenter
        width: Math.max(100, parent.width - 2 * (gaugeSize + 2 * gaugeMargin))
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.Wrap
        color: theme.text
        font.pixelSize: 22
        font.bold: true
    }

    // Over the dials while they show no present values: a loss must not pass
    // for a steady reading.
    Rectangle {
        id: rectLinkBanner
        objectName: "rectLinkBanner"
        visible: linkState !== "live"
        z: 1
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.leftMargin: gaugeMargin
        anchors.rightMargin: gaugeMargin
        anchors.verticalCenter: gaugeVertical.verticalCenter
        height: colBanner.implicitHeight + 24
        radius: 8
        color: linkState === "lost" ? theme.messageError : theme.messageInfo

        Column {
            id: colBanner
            anchors.centerIn: parent
            width: parent.width - 24
            spacing: 4

            Text {
                id: txBannerTitle
                objectName: "txBannerTitle"
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                text: linkState === "lost" ? "НЕТ СВЯЗИ С ТЕЛЕЖКОЙ" : "ПОИСК ТЕЛЕЖКИ…"
                color: theme.messageText
                font.pixelSize: Math.max(24, gaugeSize / 10)
                font.bold: true
                fontSizeMode: Text.HorizontalFit
                minimumPixelSize: 16
            }

            Text {
                objectName: "txBannerText"
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                text: linkState === "lost"
                      ? (measuring ? "Показания не обновляются, строки в журнал не пишутся. Идёт поиск тележки…"
                                   : "Показания не обновляются. Идёт поиск тележки…")
                      : "Показаний ещё нет: программа ищет тележку среди последовательных портов."
                color: theme.messageText
                font.pixelSize: Math.max(18, gaugeSize / 22)
            }
        }
    }

    // Opens over the dials while the rows go on being recorded, above the
    // link banner; the strip stays free for ПИКЕТ and ПАУЗА.
    MarkChoice {
        id: markChoice
        objectName: "markChoice"
        theme: gaugePage.theme
        z: 2
        visible: markStage !== ""
        stage: markStage
        positionText: markPositionText
        names: markNames
        noteKind: gaugePage.noteKind
        buttonHeight: Math.max(48, picketHeight * 0.7)
        width: Math.min(parent.width - 2 * gaugeMargin, 4 * (buttonHeight * 4.2) + 5 * 10)
        anchors.horizontalCenter: parent.horizontalCenter
        y: Math.max(gaugeMargin, (itPicket.y - height) / 2)
        onChosen: markChosen(index)
        onCancelled: markCancelled()
        onNoteDone: markNoteDone(text)
    }

    // The bottom strip: the position, as large as the widest one ever shown
    // ("ПК -999 - 99.9 м") lets it be beside the three buttons, and ПАУЗА,
    // ОТМЕТКА and ПИКЕТ, each as wide as its largest text.
    Item {
        id: itPicket
        objectName: "itPicket"
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 10
        anchors.leftMargin: gaugeMargin
        anchors.rightMargin: gaugeMargin
        height: picketHeight
        enabled: measuring

        // Widths of the strip's texts at 100 px, from which its font follows.
        TextMetrics { id: tmLabel; font.pixelSize: 100; text: tLabel.text }
        TextMetrics { id: tmWidest; font.pixelSize: 100; text: "ПК -999 - 99.9 м" }
        TextMetrics {
            id: tmPause
            font.family: btPause.font.family
            font.weight: btPause.font.weight
            font.pixelSize: 100
            text: "ПАУЗА"
        }
        TextMetrics {
            id: tmContinue
            font: tmPause.font
            text: "ПРОДОЛЖИТЬ"
        }
        TextMetrics {
            id: tmPicket
            font: tmPause.font
            text: btPicket.text
        }
        TextMetrics {
            id: tmMark
            font: tmPause.font
            text: btMark.text
        }

        readonly property real spacing: 10
        readonly property real buttonPadding: 2 * 16
        readonly property real pixelSize: {
            var perPixel = (tmLabel.advanceWidth + tmWidest.advanceWidth
                            + Math.max(tmPause.advanceWidth, tmContinue.advanceWidth / 2.25)
                            + tmMark.advanceWidth + tmPicket.advanceWidth) / 100
            var room = width - 4 * spacing - 3 * buttonPadding - 6
            // A little to spare: glyph widths do not scale exactly with the size.
            return Math.max(12, Math.min(height - 2, 0.96 * room / perPixel))
        }

        Text {
            id: tLabel
            objectName: "tLabel"
            text: "S:"
            color: theme.text
            font.pixelSize: itPicket.pixelSize
            anchors.left: parent.left
            anchors.verticalCenter: parent.verticalCenter
        }

        Text {
            id: tLength
            objectName: "tLength"
            // Held while another page is shown: under the software renderer a
            // hidden text that changes costs a repaint of what is shown there.
            Binding on text {
                value: positionText
                when: gaugePage.visible
                restoreMode: Binding.RestoreNone
            }
            color: theme.text
            font.pixelSize: itPicket.pixelSize
            // A position wider than the widest foreseen shrinks rather than
            // running under ПАУЗА.
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: 12
            anchors.left: tLabel.right
            anchors.leftMargin: itPicket.spacing
            anchors.right: btPause.left
            anchors.rightMargin: itPicket.spacing
            anchors.verticalCenter: parent.verticalCenter
        }

        RunButton {
            id: btPause
            objectName: "btPause"
            theme: gaugePage.theme
            anchors.right: btMark.left
            anchors.rightMargin: itPicket.spacing
            anchors.top: parent.top
            anchors.bottom: parent.bottom
            // Font sizes are whole pixels: a pixel more on each text to spare.
            width: Math.ceil(Math.max(tmPause.advanceWidth * (itPicket.pixelSize + 1),
                                      tmContinue.advanceWidth * (itPicket.pixelSize / 2.25 + 1)) / 100)
                   + itPicket.buttonPadding
            text: pause ? "ПРОДОЛЖИТЬ" : "ПАУЗА"
            font.pixelSize: pause ? itPicket.pixelSize / 2.25 : itPicket.pixelSize
            onClicked: pauseClicked()
        }

        RunButton {
            id: btMark
            objectName: "btMark"
            theme: gaugePage.theme
            anchors.right: btPicket.left
            anchors.rightMargin: itPicket.spacing
            anchors.top: parent.top
            anchors.bottom: parent.bottom
            width: Math.ceil(tmMark.advanceWidth * (itPicket.pixelSize + 1) / 100) + itPicket.buttonPadding
            text: "ОТМЕТКА"
            font.pixelSize: itPicket.pixelSize
            onClicked: markClicked()
        }

        RunButton {
            id: btPicket
            objectName: "btPicket"
            theme: gaugePage.theme
            anchors.right: parent.right
            anchors.top: parent.top
            anchors.bottom: parent.bottom
            width: Math.ceil(tmPicket.advanceWidth * (itPicket.pixelSize + 1) / 100) + itPicket.buttonPadding
            text: "ПИКЕТ"
            font.pixelSize: itPicket.pixelSize
            onClicked: picketClicked()
        }
    }
}
