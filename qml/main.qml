import QtQuick 2.14
import QtQml 2.14
import QtQuick.Window 2.14
import QtQuick.Controls 2.14
import QtQuick.Layouts 1.14
import QtMultimedia 5.5
import QtQuick.Dialogs 1.2
import Qt.labs.settings 1.0

Window {
    id: mainWindow
    x: 0
    y: 0
    width: 1500
    height: 1000
    visible: true
    title: "Катучий шаблон Р-417 v1.2.3"

    onSceneGraphInitialized: showMaximized()

    property int gaugeMargin: 10
    property real stepLength: getStepLength(settingsValues.stepLength)
    property int currentPicket: 0
    property bool startDiscretSet: false
    property int numberMeasFromPicket: 0
    property int currentDiscret: 0
    property int prevSavedDiscret: 0
    property int startDiscret: 0
    property real currentLength: getLength()
    property bool directionForward: true
    property bool pause: false
    property bool measuring: false
    property bool boolBuzzerPlayV: getBuzzerPlayV()
    property bool boolBuzzerPlayH: getBuzzerPlayH()

    // What the sensors read at the last poll. A kept row carries these, not
    // the needles' smoothed values, which pass through every value between two
    // readings and, after a sensor without reading, through its code value.
    property real polledV: 0
    property real polledH: 0
    // A record has come, so currentDiscret is the trolley's counter, also
    // while it is still 0.
    property bool counterKnown: false

    // The journal as the controller reported it after the last call that can
    // change it.
    property int unsavedCount: 0
    property string journalFile: ""
    property string journalError: ""
    // Files in which this start found journals of an earlier run; emptied when
    // the operator has read the message.
    property var recoveredFiles: []

    // Set while the journal could not be written: the operator must see it on
    // the window, since the numbers of a whole night are still only in memory.
    property string saveFailureText: ""
    // The confirmation of the last save, shown for a few seconds.
    property string savedText: ""
    // A recording was asked for while rows of an earlier one are unsaved.
    property bool askBeforeStart: false
    // A protocol that would replace an existing file, waiting for the answer.
    property string overwriteUrl: ""
    // The platform's own dialogs ask before replacing a file; the dialog that
    // comes with the framework where there is none does not.
    readonly property bool dialogAsksBeforeReplacing: String(fileDialog).indexOf("DefaultFileDialog") !== 0

    readonly property real defaultStepLength: 0.00075

    // The trolley link as the controller reports it at each poll: "searching"
    // until the trolley first sends values, "live", or "lost".
    property string linkState: "searching"
    readonly property bool valuesLive: linkState === "live"
    // The controller's count of breaks in the trolley's counter (found again
    // after a loss, or restarted) that the window has dealt with.
    property int reconnectionsSeen: 0
    // Set when the trolley came back during a recording: the operator must
    // check where it stands before the recording goes on.
    property bool reconnectNotice: false

    // A step length that is not a positive finite number (a decimal comma, zero,
    // a negative value) would turn every distance into nonsense; keep the default.
    function getStepLength(value) {
        var s = Number(value)
        return (isFinite(s) && s > 0) ? s : defaultStepLength
    }

    function getGaugeSize() {
        var a = itGauge.height - gaugeMargin - 2 * txVertical.font.pixelSize - itPicket.height
        var b = (itGauge.width - 2 * gaugeMargin) / 2
        return a > b ? b : a
    }

    function getPicketHeigth() {
        return picketHeightFor(Screen.desktopAvailableHeight)
    }

    function picketHeightFor(desktopHeight) {
        var h = desktopHeight / 10
        return h > 30 ? h : 30
    }

    function getLength() {
        var l = (currentDiscret - startDiscret) * stepLength
        return l > 0 ? l : -l
    }

    function getLengthDisplay() {
        return "ПК " + currentPicket + (directionForward ? " + " : " - ")
                + gaugeVertical.round10(currentLength, 1) + " м"
    }

    function getNameCommandRecord() {
        return measuring ? "Остановить запись" : "Начать запись"
    }

    // Counter steps from one kept row to the next: a quarter metre.
    function getCadenceStep() {
        return 0.25 / stepLength
    }

    // The length is where the row belongs on the quarter-metre grid, not where
    // the trolley is by the time the poll runs: a late poll must not give a
    // row the next quarter's distance.
    function saveMeasure(length) {
        mcRoutine.saveMeasure(currentPicket, directionForward, length,
                              polledV + inputVertical.zeroShift,
                              polledH + inputHorizontal.zeroShift)
        refreshJournal()
    }

    function refreshJournal() {
        unsavedCount = mcRoutine.unsavedCount()
        journalFile = mcRoutine.journalFile()
        journalError = mcRoutine.journalError()
    }

    // Unsaved rows of an earlier recording are not silently continued.
    function requestRecording() {
        if (!measuring && unsavedCount > 0) {
            askBeforeStart = true
            return
        }
        measuring = !measuring
    }

    function answerStart(index) {
        askBeforeStart = false
        if (index === 0)
            saveMeasToFile()
        else if (index === 1)
            measuring = true
    }

    function saveMeasToFile() {
        fileDialog.open()
    }

    // The dialog's answer. A typed name gets ".csv", and an existing file is
    // replaced only when the operator said so: in the dialog, when it asks and
    // saw the name as it will be written, or on the window.
    function chooseProtocol(dialogUrl) {
        var url = protocolUrl(dialogUrl)
        if (mcRoutine.protocolExists(url) && !(dialogAsksBeforeReplacing && url === dialogUrl)) {
            overwriteUrl = url
            return false
        }
        return saveProtocolTo(url)
    }

    function answerOverwrite(index) {
        var url = overwriteUrl
        overwriteUrl = ""
        if (index === 0)
            saveProtocolTo(url)
        else if (index === 1)
            saveMeasToFile()
    }

    function folderOf(path) {
        return path.substring(0, Math.max(path.lastIndexOf("/"), path.lastIndexOf("\\")))
    }

    function getUnsavedText() {
        return "Несохранённых измерений: " + unsavedCount + ". "
                + (journalFile !== ""
                   ? "Если закрыть программу, не сохранив их, они будут записаны в файл "
                     + "tervalo-unsaved-<дата>-<время>.csv в папке " + folderOf(journalFile) + "."
                   : "Они хранятся только в памяти программы.")
    }

    function getJournalProblemText() {
        if (journalFile !== "")
            return "Рабочая папка программы недоступна для записи (" + journalError
                    + "). Журнал измерений записывается в файл " + journalFile + "."
        return "Журнал измерений не записывается на диск (" + journalError + "). "
                + (unsavedCount > 0
                   ? "Показания хранятся только в памяти программы: сохраните журнал в другую папку."
                   : "Показания новой записи будут храниться только в памяти программы.")
    }

    // The dialog does not add the filter's suffix to a typed name.
    function protocolUrl(url) {
        var name = url.substring(url.lastIndexOf("/") + 1)
        return name.indexOf(".") < 0 ? url + ".csv" : url
    }

    // The file as the operator knows it: "C:/..." on Windows, "/..." elsewhere.
    function displayPath(url) {
        var path = url.replace(/^file:\/\//, "")
        if (/^\/[A-Za-z]:/.test(path))
            path = path.substring(1)
        try {
            return decodeURIComponent(path)
        } catch (e) {
            return path
        }
    }

    function saveProtocolTo(url) {
        overwriteUrl = ""
        var rows = mcRoutine.unsavedCount()
        var saved = mcRoutine.saveProtocol(url)
        refreshJournal()
        if (saved) {
            saveFailureText = ""
            savedText = "Журнал сохранён в файл " + displayPath(url) + " (строк: " + rows + ")"
            timerSaved.restart()
            return true
        }
        savedText = ""
        saveFailureText = "Журнал не сохранён в файл " + displayPath(url)
                + ". Показания остаются в памяти программы: укажите другой файл."
        Qt.callLater(saveMeasToFile)
        return false
    }

    function getBuzzerPlayV() {
        var x = inputVertical.mess + inputVertical.zeroShift
        if ((x > inputVertical.highLimit) | (x < inputVertical.lowLimit))
            return vCaption.audioEnable
        return false
    }

    function getBuzzerPlayH() {
        var x = inputHorizontal.mess + inputHorizontal.zeroShift
        if ((x > inputHorizontal.highLimit) | (x < inputHorizontal.lowLimit))
            return hCaption.audioEnable
        return false
    }

    function getLongPlay(longPlay) {
        return longPlay ? 500 : 100
    }

    Component.onCompleted: {
        refreshJournal()
        recoveredFiles = mcRoutine.recoveredFiles()
    }

    function getLinkText() {
        if (linkState === "searching")
            return "Поиск тележки…"
        if (linkState === "lost")
            return "Нет связи с тележкой — поиск…"
        return ""
    }

    // Runs after the poll's getters. The controller keeps the counter going on
    // from where it stood across a break, so no distance jumps; but the trolley
    // may have been pushed on, or its electronics restarted, unseen: a running
    // recording waits in pause for the operator to check the position.
    function followLink() {
        linkState = mcRoutine.linkState()
        // Values that are not live are no valid sensor data: the lamps that
        // say so go dark instead of freezing in their last state.
        if (!valuesLive) {
            receiveIndicator.color = "black"
            inputVertical.blDetect1WorkInput = false
            inputHorizontal.blDetect1WorkInput = false
        }
        var reconnections = mcRoutine.reconnections()
        if (reconnections !== reconnectionsSeen) {
            reconnectionsSeen = reconnections
            if (measuring) {
                pause = true
                reconnectNotice = true
            }
        }
    }

    Connections {
        target: mainWindow
        function onPauseChanged() {
            if (!pause)
                reconnectNotice = false
        }
        function onMeasuringChanged() {
            if (!measuring)
                reconnectNotice = false
        }
    }

    onCurrentDiscretChanged: {
        if (!startDiscretSet) {
            startDiscretSet = true
            // A recording started on a known counter has its origin; one
            // started before the trolley was heard counts from its first value.
            if (!measuring || !counterKnown) {
                startDiscret = currentDiscret
                if (measuring)
                    prevSavedDiscret = currentDiscret
            }
        }
        if (measuring && !pause) {
            var d = currentDiscret - prevSavedDiscret
            if (!(d > 0))
                d = -d
            if (d > 2147483647)
                d = d - 4294967296
            var step = getCadenceStep()
            if (d >= numberMeasFromPicket * step) {
                // A late poll saves the quarter it owes now and the next one at
                // the next counter change. A trolley two quarters or more past it
                // has no reading for the quarters between: they are left out
                // rather than filled with readings taken elsewhere.
                var reached = Math.floor(d / step)
                if (reached - numberMeasFromPicket >= 2)
                    numberMeasFromPicket = reached
                saveMeasure(numberMeasFromPicket * step * stepLength)
                numberMeasFromPicket = numberMeasFromPicket + 1
            }
        }
    }

    onMeasuringChanged: {
        btRecord.text = getNameCommandRecord()
        itPicket.enabled = measuring
        itPickCaption.enabled = !measuring
        if (!measuring) {
            mcRoutine.recordingStopped()
            refreshJournal()
            saveMeasToFile()
        } else {
            askBeforeStart = false
            // The start is the origin of the distance and of the cadence, as a
            // picket mark is, so that every row lies on the quarter-metre grid
            // of the distance it reports.
            startDiscret = currentDiscret
            prevSavedDiscret = currentDiscret
            numberMeasFromPicket = 0
            saveMeasure(0)
            numberMeasFromPicket = 1
        }
    }

    onBoolBuzzerPlayVChanged: {
        if (boolBuzzerPlayV) {
            timerBuzzerV.interval = getLongPlay(vCaption.longPlay)
            timerBuzzerV.start()
        }
    }

    onBoolBuzzerPlayHChanged: {
        if (boolBuzzerPlayH) {
            timerBuzzerH.interval = getLongPlay(hCaption.longPlay)
            timerBuzzerH.start()
        }
    }

    Settings {
        id: settingsValues
        objectName: "settingsValues"
        fileName: "tervalo.ini"
        property real stepLength: 0.00075
    }

    Timer {
        id: timerBuzzerV
        objectName: "timerBuzzerV"
        repeat: false
        running: false
        interval: getLongPlay(vCaption.longPlay)
        onRunningChanged: running ? auBuzzer.play() : auBuzzer.stop()
    }

    Timer {
        id: timerBuzzerH
        objectName: "timerBuzzerH"
        repeat: false
        running: false
        interval: getLongPlay(hCaption.longPlay)
        onRunningChanged: running ? auBuzzer.play() : auBuzzer.stop()
    }

    Audio {
        id: auBuzzer
        objectName: "auBuzzer"
        source: "qrc:/1kHz_44100Hz_16bit_05sec.wav"
    }

    FileDialog {
        id: fileDialog
        objectName: "fileDialog"
        title: "Журнал измерений : Укажите имя файла"
        nameFilters: ["CSV files (*.csv)"]
        selectExisting: false
        selectFolder: false
        selectMultiple: false
        // A platform dialog then checks for an existing file under the name
        // that will be written.
        defaultSuffix: "csv"
        folder: shortcuts.home
        onAccepted: chooseProtocol(fileDialog.fileUrl.toString())
    }

    Timer {
        id: timerSaved
        objectName: "timerSaved"
        interval: 6000
        onTriggered: savedText = ""
    }

    Timer {
        id: timerInd
        objectName: "timerInd"
        interval: 20
        repeat: true
        running: true
        onTriggered: {
            polledV = mcRoutine.currentV()
            inputVertical.mess = polledV
            polledH = mcRoutine.currentH()
            inputHorizontal.mess = polledH
            currentDiscret = mcRoutine.currentS()
            var arrived = mcRoutine.dataReceived()
            receiveIndicator.color = arrived ? "light yellow" : "black"
            if (arrived)
                counterKnown = true
            if (mcRoutine.measKeeped()) {
                keepIndicator.color = "blue"
                keepIndTimer.start()
            }
            inputVertical.blDetect1WorkInput = mcRoutine.workV()
            inputHorizontal.blDetect1WorkInput = mcRoutine.workH()
            followLink()
        }
    }

    Timer {
        id: keepIndTimer
        objectName: "keepIndTimer"
        interval: 200
        repeat: false
        running: false
        onTriggered: keepIndicator.color = "white"
    }

    InputIndicator {
        id: inputVertical
        objectName: "inputVertical"
        unitPoint: 0.4
        messUnit: "мм"
        accuracy: 1
        lowLimit: -6
        highLimit: 6
        blDetect1EnableInput: true
    }

    InputIndicator {
        id: inputHorizontal
        objectName: "inputHorizontal"
        unitPoint: inputVertical.unitPoint
        messUnit: inputVertical.messUnit
        accuracy: inputVertical.accuracy
        lowLimit: -8
        highLimit: 8
        blDetect1EnableInput: true
    }

    TabBar {
        id: tbMenu
        objectName: "tbMenu"
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        Repeater {
            model: ["ИНДИКАТОР", "НАСТРОЙКА", "ОПИСАНИЕ"]
            TabButton {
                text: modelData
                ToolTip.visible: hovered
                ToolTip.text: modelData
            }
        }
    }

    StackLayout {
        id: slTabs
        objectName: "slTabs"
        anchors.top: tbMenu.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: colMessages.top
        currentIndex: tbMenu.currentIndex

        Item {
            id: itGauge
            objectName: "itGauge"

            ImpGauge {
                id: gaugeVertical
                objectName: "gaugeVertical"
                inputIndicator: inputVertical
                live: valuesLive
                anchors.left: parent.left
                anchors.top: parent.top
                anchors.leftMargin: gaugeMargin
                anchors.topMargin: gaugeMargin
                width: getGaugeSize()
                height: getGaugeSize()
            }

            ImpGauge {
                id: gaugeHorizontal
                objectName: "gaugeHorizontal"
                inputIndicator: inputHorizontal
                live: valuesLive
                anchors.right: parent.right
                anchors.top: parent.top
                anchors.rightMargin: gaugeMargin
                anchors.topMargin: gaugeMargin
                width: getGaugeSize()
                height: getGaugeSize()
            }

            Text {
                id: txVertical
                objectName: "txVertical"
                text: "Вертикаль"
                font.pixelSize: 20
                anchors.top: gaugeVertical.bottom
                anchors.horizontalCenter: gaugeVertical.horizontalCenter
            }

            Text {
                id: txHorizontal
                text: "Горизонталь"
                font.pixelSize: txVertical.font.pixelSize
                anchors.top: gaugeHorizontal.bottom
                anchors.horizontalCenter: gaugeHorizontal.horizontalCenter
            }

            Rectangle {
                id: recordIndicator
                objectName: "recordIndicator"
                anchors.right: receiveIndicator.left
                anchors.rightMargin: receiveIndicator.border.width
                anchors.top: parent.top
                anchors.topMargin: receiveIndicator.anchors.topMargin
                height: receiveIndicator.height
                width: receiveIndicator.width
                radius: receiveIndicator.radius
                border.color: receiveIndicator.border.color
                border.width: receiveIndicator.border.width
                color: measuring ? (pause ? "red" : "green") : "light grey"
                ToolTip {
                    id: ttRecordIndicator
                    objectName: "ttRecordIndicator"
                    text: "Режим работы"
                }
                MouseArea {
                    anchors.fill: parent
                    hoverEnabled: true
                    onEntered: ttRecordIndicator.visible = true
                    onExited: ttRecordIndicator.visible = false
                }
            }

            Rectangle {
                id: receiveIndicator
                objectName: "receiveIndicator"
                anchors.horizontalCenter: parent.horizontalCenter
                anchors.top: parent.top
                anchors.topMargin: height / 2
                height: 40
                width: height
                radius: height / 2
                border.color: "black"
                border.width: 2
                color: "light yellow"
                ToolTip {
                    id: ttReceiveIndicator
                    objectName: "ttReceiveIndicator"
                    text: "Связь с оборудованием"
                }
                MouseArea {
                    anchors.fill: parent
                    hoverEnabled: true
                    onEntered: ttReceiveIndicator.visible = true
                    onExited: ttReceiveIndicator.visible = false
                }
            }

            Rectangle {
                id: keepIndicator
                objectName: "keepIndicator"
                anchors.left: receiveIndicator.right
                anchors.leftMargin: receiveIndicator.border.width
                anchors.top: parent.top
                anchors.topMargin: receiveIndicator.anchors.topMargin
                height: receiveIndicator.height
                width: receiveIndicator.width
                radius: receiveIndicator.radius
                border.color: receiveIndicator.border.color
                border.width: receiveIndicator.border.width
                color: "white"
                ToolTip {
                    id: ttKeepIndicator
                    objectName: "ttKeepIndicator"
                    text: "Запись показаний"
                }
                MouseArea {
                    anchors.fill: parent
                    hoverEnabled: true
                    onEntered: ttKeepIndicator.visible = true
                    onExited: ttKeepIndicator.visible = false
                }
            }

            Item {
                id: itPicket
                objectName: "itPicket"
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                anchors.bottomMargin: 10
                height: getPicketHeigth()
                enabled: measuring

                Text {
                    id: tLabel
                    objectName: "tLabel"
                    text: "S:"
                    font.pixelSize: itPicket.height - 2
                    anchors.left: parent.left
                    anchors.top: parent.top
                    anchors.bottom: parent.bottom
                }

                Text {
                    id: tLength
                    objectName: "tLength"
                    // Held while another page is shown: under the software renderer a
                    // hidden text that changes costs a repaint of what is shown there.
                    Binding on text {
                        value: getLengthDisplay()
                        when: itGauge.visible
                        restoreMode: Binding.RestoreNone
                    }
                    font.pixelSize: tLabel.font.pixelSize
                    anchors.left: tLabel.right
                    anchors.top: parent.top
                    anchors.bottom: parent.bottom
                }

                Button {
                    id: btPause
                    objectName: "btPause"
                    anchors.right: btPicket.left
                    anchors.rightMargin: 5
                    anchors.top: parent.top
                    anchors.bottom: parent.bottom
                    text: pause ? "ПРОДОЛЖИТЬ" : "ПАУЗА"
                    font.pixelSize: pause ? tLabel.font.pixelSize / 2.25 : tLabel.font.pixelSize
                    onClicked: pause = !pause
                }

                Button {
                    id: btPicket
                    objectName: "btPicket"
                    anchors.right: parent.right
                    anchors.top: parent.top
                    anchors.bottom: parent.bottom
                    text: "ПИКЕТ"
                    font.pixelSize: tLabel.font.pixelSize
                    onClicked: {
                        currentPicket = directionForward ? currentPicket + 1 : currentPicket - 1
                        numberMeasFromPicket = 0
                        prevSavedDiscret = currentDiscret
                        startDiscret = currentDiscret
                    }
                }
            }
        }

        Item {
            id: itCaptions
            objectName: "itCaptions"

            Button {
                id: btRecord
                objectName: "btRecord"
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                height: itPicket.height
                text: getNameCommandRecord()
                font.pixelSize: tLabel.font.pixelSize
                onClicked: requestRecording()
            }

            Item {
                id: itPickCaption
                objectName: "itPickCaption"
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: btRecord.top
                height: itPicket.height

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
                        font.pixelSize: getPicketHeigth() / 4
                    }

                    TextField {
                        id: startPicket
                        objectName: "startPicket"
                        placeholderText: "0"
                        validator: IntValidator { bottom: 0; top: 999 }
                        inputMethodHints: Qt.ImhDigitsOnly
                        font.pixelSize: txStartPicket.font.pixelSize
                        onEditingFinished: {
                            currentPicket = Number(text)
                            startDiscret = currentDiscret
                        }
                    }

                    Text {
                        id: txDirection
                        text: "Направление движения:"
                        font.pixelSize: txStartPicket.font.pixelSize
                    }

                    ComboBox {
                        id: cbDirection
                        objectName: "cbDirection"
                        model: ["Прямое", "Обратное"]
                        width: grPickCaption.width / 5
                        font.pixelSize: txStartPicket.font.pixelSize
                        popup.font.pixelSize: txStartPicket.font.pixelSize
                        onCurrentIndexChanged: {
                            if (currentIndex === 0)
                                directionForward = true
                            else if (currentIndex === 1)
                                directionForward = false
                        }
                    }
                }
            }

            GaugeCaption {
                id: vCaption
                objectName: "vCaption"
                anchors.top: parent.top
                anchors.bottom: itPickCaption.top
                anchors.left: parent.left
                width: parent.width / 2
                capName: "Настройка индикатора\n          вертикали"
                inputIndicator: inputVertical
            }

            GaugeCaption {
                id: hCaption
                objectName: "hCaption"
                anchors.top: parent.top
                anchors.bottom: itPickCaption.top
                anchors.left: vCaption.right
                anchors.right: parent.right
                capName: "Настройка индикатора\n         горизонтали"
                inputIndicator: inputHorizontal
            }
        }

        Item {
            id: itManual
            objectName: "itManual"

            ScrollView {
                id: svManual
                anchors.fill: parent
                clip: true

                TextArea {
                    id: taManual
                    objectName: "taManual"
                    readOnly: true
                    wrapMode: TextEdit.Wrap
                    font.pixelSize: 18
                    text: "\n"
                          + "                  Измеритель контакта Р-417\n"
                          + "                  Руководство пользователя\n"
                          + "\n"
                          + "    1. Запуск датчика и программы\n"
                          + "\n"
                          + "    Датчик начинает работать с момента включения компьютера, поэтому показания появляются\n"
                          + "    сразу после запуска программы. Запускайте программу только после подключения датчика\n"
                          + "    к компьютеру: при запуске программа сама находит датчик среди последовательных портов.\n"
                          + "    Программа отслеживает, чтобы был запущен только один экземпляр программы Tervalo.\n"
                          + "\n"
                          + "    2. Начало измерения\n"
                          + "\n"
                          + "    Чтобы начать журнал измерений с привязкой к пикетам, откройте вкладку НАСТРОЙКА.\n"
                          + "    Введите номер стартового пикета и выберите направление движения: прямое - номера\n"
                          + "    пикетов растут, обратное - номера пикетов уменьшаются.\n"
                          + "    На этой же вкладке можно изменить заданные допуски визуальной и звуковой сигнализации\n"
                          + "    обоих индикаторов и включить короткий или длинный звуковой сигнал. Громкость сигнала\n"
                          + "    устанавливается средствами операционной системы.\n"
                          + "    Затем нажмите кнопку НАЧАТЬ ЗАПИСЬ.\n"
                          + "\n"
                          + "    3. Процесс измерения\n"
                          + "\n"
                          + "    На вкладке ИНДИКАТОР показаны оба показания (вертикаль и горизонталь) и расстояние\n"
                          + "    от последнего отмеченного пикета.\n"
                          + "    Кнопкой ПИКЕТ отмечайте прохождение каждого пикета. Кнопка ПАУЗА приостанавливает\n"
                          + "    запись в журнал, кнопка ПРОДОЛЖИТЬ возобновляет её.\n"
                          + "    Внутри каждого циферблата должна мигать индикация 1, пока данные датчика достоверны.\n"
                          + "    Если индикация 1 не мигает, датчик не выдаёт данных или выдаёт недостоверные данные.\n"
                          + "    Три индикатора вверху экрана:\n"
                          + "    - левый показывает режим работы: серый - запись не ведётся, зелёный - идёт запись,\n"
                          + "      красный - пауза;\n"
                          + "    - центральный должен мигать, пока есть связь с оборудованием. Если связь пропала,\n"
                          + "      индикатор гаснет, показания на циферблатах становятся серыми, а внизу окна\n"
                          + "      появляется надпись \"Нет связи с тележкой — поиск…\". Проверьте кабель или\n"
                          + "      выключите и снова включите оборудование: программа сама найдёт тележку снова,\n"
                          + "      перезапускать её не нужно. Если связь восстановилась во время записи, запись\n"
                          + "      встаёт на паузу: проверьте положение тележки (на пикете нажмите ПИКЕТ)\n"
                          + "      и нажмите ПРОДОЛЖИТЬ;\n"
                          + "    - правый загорается синим при каждой записи показаний в протокол. Запись должна\n"
                          + "      происходить каждые 0,25 метров пути. Если индикатор загорается реже, нужно\n"
                          + "      уменьшить скорость движения тележки.\n"
                          + "\n"
                          + "    4. Окончание измерения\n"
                          + "\n"
                          + "    По окончании измерения нажмите кнопку ОСТАНОВИТЬ ЗАПИСЬ на вкладке НАСТРОЙКА.\n"
                          + "    Программа предложит выбрать файл, в который будут сохранены измерения. Если файл\n"
                          + "    с таким именем уже есть, программа спросит, заменить ли его. Об успешном сохранении\n"
                          + "    программа сообщает внизу окна: имя файла и число записанных строк.\n"
                          + "    Пока измерения не сохранены, внизу окна видно их число и кнопка СОХРАНИТЬ ЖУРНАЛ:\n"
                          + "    ею можно сохранить журнал в любой момент, в том числе после отмены выбора файла\n"
                          + "    или неудачного сохранения. Если при несохранённых измерениях нажать НАЧАТЬ ЗАПИСЬ,\n"
                          + "    программа спросит, сохранить ли их сейчас или добавить новую запись к ним в тот\n"
                          + "    же журнал.\n"
                          + "\n"
                          + "    5. Журнал измерений\n"
                          + "\n"
                          + "    Журналы сохраняются в формате CSV, который открывается в Microsoft Excel для\n"
                          + "    дальнейшей обработки. В каждой строке записаны пикет и направление, расстояние\n"
                          + "    от пикета в метрах, вертикальное и горизонтальное отклонение в миллиметрах.\n"
                          + "    Пустое поле отклонения означает, что датчик в этом месте показаний не дал.\n"
                          + "    Каждое измерение сразу записывается в файл tervalo-journal.csv в рабочей папке\n"
                          + "    программы; после сохранения журнала этот файл удаляется. Если программа\n"
                          + "    завершилась, а журнал не был сохранён (закрытие окна, Ctrl+C, сбой, отключение\n"
                          + "    питания), измерения записываются в файл tervalo-unsaved-<дата>-<время>.csv в той\n"
                          + "    же папке: при выходе из программы или при следующем её запуске, о чём программа\n"
                          + "    сообщает внизу окна. Дата и время в имени файла - время последнего измерения.\n"
                          + "    Если в рабочую папку писать нельзя, программа сообщает об этом внизу окна сразу\n"
                          + "    после запуска и ведёт журнал в папке пользователя, которую там же называет.\n"
                          + "    Проанализировать работу программы и оборудования помогает файл журнала работы\n"
                          + "    tervalo.log в рабочей папке программы; он перезаписывается при каждом запуске.\n"
                }
            }
        }
    }

    // Messages for the operator live in a strip below the pages, so that none
    // ever covers a lamp, a gauge, a value or a button; empty, it takes no room
    // and the pages have the whole window.
    Column {
        id: colMessages
        objectName: "colMessages"
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom

        MessageRow {
            id: itLinkState
            objectName: "itLinkState"
            visible: text !== ""
            color: "dim grey"
            text: getLinkText()
        }

        MessageRow {
            id: itReconnect
            objectName: "itReconnect"
            visible: reconnectNotice
            color: "dark orange"
            text: "Связь с тележкой восстановлена, запись приостановлена. Проверьте положение тележки "
                  + "(на пикете нажмите ПИКЕТ) и нажмите ПРОДОЛЖИТЬ."
        }

        MessageRow {
            id: itRecovered
            objectName: "itRecovered"
            visible: recoveredFiles.length > 0
            color: "steelblue"
            text: "Несохранённый журнал прошлого запуска записан в файл " + recoveredFiles.join(", ")
            answers: ["Понятно"]
            onAnswered: recoveredFiles = []
        }

        MessageRow {
            id: itJournalProblem
            objectName: "itJournalProblem"
            visible: journalError !== ""
            color: journalFile !== "" ? "darkgoldenrod" : "tomato"
            text: getJournalProblemText()
        }

        MessageRow {
            id: itSaveFailure
            objectName: "itSaveFailure"
            visible: saveFailureText !== ""
            text: saveFailureText
        }

        MessageRow {
            id: itOverwrite
            objectName: "itOverwrite"
            visible: overwriteUrl !== ""
            color: "darkorange"
            text: "Файл " + displayPath(overwriteUrl) + " уже существует. Заменить его журналом?"
            answers: ["Заменить", "Другой файл", "Отмена"]
            onAnswered: answerOverwrite(index)
        }

        MessageRow {
            id: itStartQuestion
            objectName: "itStartQuestion"
            visible: askBeforeStart
            color: "darkorange"
            text: "В памяти программы несохранённые измерения прошлой записи: " + unsavedCount
                  + ". Сохранить их сейчас или добавить новую запись к ним в тот же журнал?"
            answers: ["Сохранить журнал", "Добавить к ним", "Отмена"]
            onAnswered: answerStart(index)
        }

        MessageRow {
            id: itUnsaved
            objectName: "itUnsaved"
            visible: unsavedCount > 0 && !measuring && !askBeforeStart
            color: "chocolate"
            text: getUnsavedText()
            answers: ["Сохранить журнал"]
            onAnswered: saveMeasToFile()
        }

        MessageRow {
            id: itSaved
            objectName: "itSaved"
            visible: savedText !== ""
            color: "seagreen"
            text: savedText
        }
    }
}
