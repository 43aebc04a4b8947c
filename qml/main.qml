import QtQuick 2.14
import QtQml 2.14
import QtQuick.Window 2.14
import QtQuick.Controls 2.14
import QtQuick.Controls.Material 2.14
import QtQuick.Layouts 1.14
import QtMultimedia 5.5
import Qt.labs.platform 1.1 as Platform
import Qt.labs.settings 1.0

Window {
    id: mainWindow
    x: 0
    y: 0
    // The size it was made for where the screen holds it; a laptop's smaller
    // screen gets a window that fits it.
    width: Math.min(1500, Screen.desktopAvailableWidth)
    height: Math.min(1000, Screen.desktopAvailableHeight)
    visible: true
    color: theme.background
    Material.theme: theme.dark ? Material.Dark : Material.Light
    Material.accent: theme.accent
    Material.background: theme.background
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
    // The file of the last save, as the messages name it.
    property string protocolPath: ""
    // What Enter held or let go too early does to a recording.
    property string stopHintText: ""
    // A hold of Enter stopped the recording; the save dialog waits for the key
    // to be let go.
    property bool dialogAfterEnter: false
    // A recording was asked for while rows of an earlier one are unsaved.
    property bool askBeforeStart: false
    // A protocol that would replace an existing file, waiting for the answer.
    property string overwriteUrl: ""
    // Every dialog this window can show asks before it returns an existing
    // file: the platform's own, and the framework's widget dialog where there
    // is none. The window asks itself for a name the dialog did not return.
    property bool dialogAsksBeforeReplacing: true
    // Where the save dialog opens: the folder of the last save, at first the
    // one the journal is kept in (the working folder). A URL, "" for the
    // dialog's own choice.
    property string saveFolder: ""
    // The picket the rows of the journal start at, for the suggested name.
    property int journalStartPicket: 0

    // The protocol of the last successful save, whose report the confirmation
    // offers, and the run file written beside it.
    property string savedUrl: ""
    property string savedRunFile: ""
    // A report is being made; its outcome, once told, until it is read.
    property bool reportBusy: false
    property string reportText: ""
    property bool reportOk: true
    property string reportPath: ""
    // The archive's word on the last save.
    property string archiveText: ""
    property bool archiveOk: true
    // Where the journal is as the controller last said: "ok", "moved",
    // "rewritten" or "memory". Polled, since it changes also while no row comes.
    property string journalState: "ok"

    readonly property real defaultStepLength: 0.00075

    // The run's header as entered on the settings page, kept in the settings
    // file by key from one start to the next. The calibration date is ISO
    // (yyyy-MM-dd), "" when none is known.
    property string runLine: ""
    property string runTrack: ""
    property string runOperator: ""
    property string runTrolley: ""
    property string calibrationValidUntil: ""
    // The calibration date last typed did not read as a date; the one before
    // it stays.
    property bool calibrationTypedBad: false
    // Followed across midnight: a night's recording may outlive the calibration.
    property string todayIso: Qt.formatDate(new Date(), "yyyy-MM-dd")
    readonly property bool calibrationOverdue: calibrationValidUntil !== "" && calibrationValidUntil < todayIso
    // A recording without line or track was asked for; once allowed, it is not
    // asked again until the program starts anew.
    property bool askNoLineTrack: false
    property bool noLineTrackAllowed: false
    // Each save goes into the run archive.
    property bool archiveOn: true

    // Marks: where ОТМЕТКА was pressed ({picket, direction, distance}), the
    // choice's stage ("" closed, "choice", "note"), the mark whose text is
    // being typed, and the last mark as the window shows it for a few seconds.
    property var pendingMark: null
    property string markStage: ""
    property int noteMarkIndex: -1
    property string noteMarkKind: ""
    property string lastMarkText: ""
    readonly property var markKinds: ["rampStart", "rampEnd", "joint", "insulator", "anchor", "defect", "note"]
    readonly property var markNames: ["начало отвода", "конец отвода", "стык", "изолятор", "анкер", "дефект",
                                      "заметка"]

    // The picket spacing the operator's ПИКЕТ is checked against, in metres.
    property real picketLength: 100
    property real picketTolerance: 10
    // Pickets marked in this recording: the first one after the start is not
    // checked, since the start may lie anywhere within a picket.
    property int picketsInRun: 0
    // A ПИКЕТ whose spacing waits for the operator's answer: the counter value
    // and the distance from the last picket where it was pressed. Until the
    // answer nothing moves: rows go on under the old picket at their true
    // distance, so no row is ever kept under a picket the operator then undoes.
    property bool picketQuestion: false
    property int pendingPicketDiscret: 0
    property real pendingPicketDistance: 0

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

    // The centre lamp (light while the last poll saw data arrive) and the right
    // one (light for a fifth of a second after a kept row).
    property bool receiveLit: true
    property bool keepLit: false

    // The channels' caption panels, whose sound choices the alarms read.
    readonly property GaugeCaption vCaption: itCaptions.verticalCaption
    readonly property GaugeCaption hCaption: itCaptions.horizontalCaption

    // A step length that is not a positive finite number (a decimal comma, zero,
    // a negative value) would turn every distance into nonsense; keep the default.
    function getStepLength(value) {
        var s = Number(value)
        return (isFinite(s) && s > 0) ? s : defaultStepLength
    }

    function getGaugeSize() {
        var a = itGauge.height - gaugeMargin - 2 * itGauge.captionPixelSize - itGauge.picketStrip.height
        var b = (itGauge.width - 2 * gaugeMargin) / 2
        return a > b ? b : a
    }

    // From the window's height, which fits the screen's available height
    // when the window is maximized, and is right also when it is not.
    function getPicketHeigth() {
        return picketHeightFor(height)
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
                + itGauge.verticalGauge.round10(currentLength, 1) + " м"
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
        journalState = mcRoutine.journalState()
    }

    // Unsaved rows of an earlier recording are not silently continued.
    function requestRecording() {
        // A start picket still being typed counts, as it would had the
        // button taken the focus.
        takeKeys()
        if (measuring) {
            measuring = false
        } else if (unsavedCount > 0) {
            askBeforeStart = true
        } else {
            startRecording()
        }
    }

    // A protocol without line and track cannot be told from another one
    // later: asked once, never blocked.
    function startRecording() {
        if (!noLineTrackAllowed && (runLine.trim() === "" || runTrack.trim() === "")) {
            askNoLineTrack = true
            return
        }
        measuring = true
    }

    function answerNoLineTrack(index) {
        askNoLineTrack = false
        if (index === 0) {
            noLineTrackAllowed = true
            measuring = true
        }
    }

    // The keys of a run, on keys every laptop has and that gloves find: the
    // space bar marks a picket, P (З on a Russian layout) pauses and resumes,
    // Enter starts a recording and, held for two seconds, stops it, so that a
    // stray press never ends one. None acts while a text field has the focus.
    function isTextField(item) {
        return item !== null && item !== undefined && item.cursorPosition !== undefined && !item.readOnly
    }

    function takeKeys() {
        if (isTextField(activeFocusItem))
            activeFocusItem.focus = false
        keyScope.forceActiveFocus()
    }

    function keyPressed(event) {
        if (isTextField(activeFocusItem))
            return
        var key = event.key
        if (markStage === "choice" && !event.isAutoRepeat) {
            if (key >= Qt.Key_1 && key < Qt.Key_1 + markKinds.length) {
                chooseMark(key - Qt.Key_1)
                event.accepted = true
                return
            }
            if (key === Qt.Key_Escape) {
                closeMarkChoice()
                event.accepted = true
                return
            }
        }
        if (key === Qt.Key_Space) {
            if (measuring && !event.isAutoRepeat)
                markPicket()
        } else if (key === Qt.Key_P || key === 0x0417 || key === Qt.Key_Pause) {
            if (measuring && !event.isAutoRepeat)
                pause = !pause
        } else if (key === Qt.Key_M || key === 0x042c) {
            // M, Ь on a Russian layout.
            if (measuring && !event.isAutoRepeat)
                openMarkChoice()
        } else if (key === Qt.Key_Return || key === Qt.Key_Enter) {
            // Amid the repeats of a key held down the system may report a
            // release and a new press: that press goes on with the hold.
            if (timerEnterReleased.running)
                timerEnterReleased.stop()
            else if (!event.isAutoRepeat)
                enterPressed()
        } else {
            return
        }
        event.accepted = true
    }

    function enterPressed() {
        if (!measuring) {
            requestRecording()
        } else {
            timerStopHold.start()
            stopHintText = "Держите Enter: запись остановится через 2 секунды."
            timerStopHint.stop()
        }
    }

    function keyReleased(event) {
        if ((event.key === Qt.Key_Return || event.key === Qt.Key_Enter) && !event.isAutoRepeat) {
            timerEnterReleased.restart()
            event.accepted = true
        }
    }

    // Keys go to another window: the release of a key held here would not be
    // heard, and the hold must not end the recording.
    onActiveChanged: {
        if (!active) {
            timerStopHold.stop()
            if (dialogAfterEnter)
                enterReleased()
        }
    }

    // Enter let go for good: a hold not yet long enough stops nothing; one
    // that stopped the recording opens the save dialog now.
    function enterReleased() {
        if (dialogAfterEnter) {
            dialogAfterEnter = false
            stopHintText = ""
            saveMeasToFile()
        }
        if (timerStopHold.running) {
            timerStopHold.stop()
            stopHintText = "Запись продолжается. Чтобы остановить её, держите Enter 2 секунды "
                    + "или нажмите ОСТАНОВИТЬ ЗАПИСЬ на вкладке НАСТРОЙКА."
            timerStopHint.restart()
        }
    }

    function answerStart(index) {
        askBeforeStart = false
        if (index === 0)
            saveMeasToFile()
        else if (index === 1)
            startRecording()
    }

    // What the controller keeps as the run's header.
    function getRunHeader() {
        return {
            line: runLine,
            track: runTrack,
            operator: runOperator,
            trolley: runTrolley,
            calibrationValidUntil: calibrationValidUntil,
            startPicket: currentPicket,
            direction: directionForward,
            stepLength: stepLength,
            vertical: [inputVertical.lowLimit, inputVertical.highLimit],
            horizontal: [inputHorizontal.lowLimit, inputHorizontal.highLimit]
        }
    }

    // ПИКЕТ pressed. A spacing far from the picket length asks first; a
    // press while that question is open takes the place of the unanswered one,
    // since the operator's latest press is where a picket was last seen.
    function markPicket() {
        var distance = currentLength
        picketQuestion = false
        if (picketsInRun > 0 && Math.abs(distance - picketLength) > picketTolerance) {
            pendingPicketDiscret = currentDiscret
            pendingPicketDistance = distance
            picketQuestion = true
            return
        }
        applyPicket(currentDiscret, false)
    }

    // The picket where ПИКЕТ was pressed: its counter value is the origin of
    // the distance and the cadence. Rows kept since under the old picket
    // stay as they are, at their true distance from it; the cadence of the
    // new one resumes at the quarter the trolley has reached.
    function applyPicket(discret, irregular) {
        currentPicket = directionForward ? currentPicket + 1 : currentPicket - 1
        numberMeasFromPicket = 0
        prevSavedDiscret = discret
        startDiscret = discret
        picketsInRun = picketsInRun + 1
        if (irregular)
            mcRoutine.addMark(currentPicket, directionForward, 0, "irregularPicket",
                              pendingPicketDistance.toFixed(1) + " м от предыдущего пикета")
    }

    function answerPicketSpacing(index) {
        if (!picketQuestion)
            return
        picketQuestion = false
        if (index === 0)
            applyPicket(pendingPicketDiscret, true)
    }

    function getPicketSpacingText() {
        return "Пикет через " + pendingPicketDistance.toFixed(1) + " м от предыдущего. Отметить?"
    }

    function markPosition(picket, forward, distance) {
        return "ПК " + picket + (forward ? " + " : " - ") + distance.toFixed(2) + " м"
    }

    // ОТМЕТКА: the place is taken now, the kind when the operator has chosen
    // it. A second press while the choice is open keeps the first place; one
    // while a mark's text is typed ends that text first.
    function openMarkChoice() {
        if (!measuring)
            return
        if (markStage === "note")
            finishMarkNote(itGauge.markNoteText)
        if (markStage === "choice")
            return
        pendingMark = { picket: currentPicket, direction: directionForward,
                        distance: Math.round(currentLength * 100) / 100 }
        markStage = "choice"
        tbMenu.currentIndex = 0
    }

    function closeMarkChoice() {
        markStage = ""
        pendingMark = null
        takeKeys()
    }

    // The mark is handed over at once; a defect or a note may get its text
    // afterwards, while the rows go on being recorded.
    function chooseMark(i) {
        if (markStage !== "choice" || pendingMark === null)
            return
        var m = pendingMark
        var index = mcRoutine.addMark(m.picket, m.direction, m.distance, markKinds[i], "")
        lastMarkText = "Отметка: " + markNames[i] + ", " + markPosition(m.picket, m.direction, m.distance)
        timerLastMark.restart()
        if ((markKinds[i] === "defect" || markKinds[i] === "note") && index >= 0) {
            noteMarkIndex = index
            noteMarkKind = markNames[i]
            markStage = "note"
            itGauge.beginMarkNote()
        } else {
            closeMarkChoice()
        }
    }

    function finishMarkNote(text) {
        if (markStage !== "note")
            return
        text = text.trim()
        if (text !== "" && noteMarkIndex >= 0) {
            mcRoutine.setMarkNote(noteMarkIndex, text)
            lastMarkText = lastMarkText + ": " + text
            timerLastMark.restart()
        }
        noteMarkIndex = -1
        closeMarkChoice()
    }

    function saveMeasToFile() {
        var folder = saveFolder !== "" ? saveFolder : (journalFile !== "" ? fileUrl(folderOf(journalFile)) : "")
        var file = (folder !== "" ? folder + "/" : "") + encodeURIComponent(getSuggestedName())
        // Before it opens for the platform's dialog, which takes folder and
        // name as it is shown; again once open for the widget dialog, which
        // takes them only while it is shown.
        for (var pass = 0; pass < 2; pass++) {
            if (folder !== "")
                fileDialog.folder = folder
            fileDialog.currentFile = file
            if (pass === 0)
                fileDialog.open()
        }
    }

    // "2026-12-08 ПК 12.csv": the day and the picket the rows start at.
    function getSuggestedName() {
        return Qt.formatDate(new Date(), "yyyy-MM-dd") + " ПК " + journalStartPicket + ".csv"
    }

    // The file URL of a local path, "C:\..." or "/...", with each part
    // encoded: a "#" or "%" in a folder's name stays part of the path.
    function fileUrl(path) {
        var parts = path.replace(/\\/g, "/").split("/")
        for (var i = 0; i < parts.length; i++) {
            if (!(i === 0 && /^[A-Za-z]:$/.test(parts[i])))
                parts[i] = encodeURIComponent(parts[i])
        }
        var joined = parts.join("/")
        return "file://" + (joined.charAt(0) === "/" ? "" : "/") + joined
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

    // Every path a message may name, so that its lines break only between
    // the path's parts.
    function getMessagePaths() {
        return recoveredFiles.concat([journalFile, folderOf(journalFile), displayPath(overwriteUrl), protocolPath,
                                      savedRunFile, reportPath, getJournalErrorPath()])
    }

    // The controller names the file that failed first: "<path>: <why>".
    function getJournalErrorPath() {
        var end = journalError.indexOf(": ")
        return end > 0 ? journalError.substring(0, end) : ""
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
        if (journalState === "memory")
            return "Журнал измерений не записывается на диск: показания только в памяти программы."
                    + (journalError !== "" ? " Ошибка записи: " + journalError + "." : "")
        if (journalState === "rewritten")
            return "Файл журнала измерений исчез с диска. Журнал записан заново в файл " + journalFile + "."
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
        protocolPath = displayPath(url)
        var rows = mcRoutine.unsavedCount()
        var saved = mcRoutine.saveProtocol(url)
        refreshJournal()
        if (saved) {
            saveFolder = url.substring(0, url.lastIndexOf("/"))
            saveFailureText = ""
            savedUrl = url
            savedText = getSavedText(displayPath(url), rows)
            return true
        }
        savedText = ""
        savedUrl = ""
        saveFailureText = "Журнал не сохранён в файл " + displayPath(url)
                + ". Показания остаются в памяти программы: укажите другой файл."
        Qt.callLater(saveMeasToFile)
        return false
    }

    // A path as the operator knows it: "C:/..." like the protocol's on
    // Windows, as it is elsewhere.
    function shownPath(path) {
        return /^[A-Za-z]:\\/.test(path) ? path.replace(/\\/g, "/") : path
    }

    // The confirmation names both files the save wrote, or why the run file
    // is missing, and says the run goes on into the archive (only a save with
    // rows goes there).
    function getSavedText(path, rows) {
        var runFile = mcRoutine.lastRunFile()
        var runError = mcRoutine.lastRunFileError()
        savedRunFile = runError === "" ? shownPath(runFile) : ""
        var text = "Журнал сохранён в файл " + path + " (строк: " + rows + ")"
        if (savedRunFile !== "")
            text += " и файл прогона " + savedRunFile
        if (rows > 0 && archiveOn)
            text += " и добавляется в архив"
        if (runError !== "")
            text += ". Файл прогона не записан: " + runError
        return text
    }

    // The report of the protocol just saved, with the tolerances the window
    // has now, made beside it while the window goes on.
    function requestReport() {
        if (savedUrl === "" || reportBusy)
            return
        reportText = ""
        var limits = {
            vertical: [inputVertical.lowLimit, inputVertical.highLimit],
            horizontal: [inputHorizontal.lowLimit, inputHorizontal.highLimit]
        }
        if (mcRoutine.makeReport(savedUrl, limits)) {
            reportBusy = true
            return
        }
        reportOk = false
        reportText = "Отчёт не начат: программа ещё готовит другой отчёт или протокол не лежит на этом компьютере."
    }

    function reportFinished(ok, pdfPath, error) {
        reportBusy = false
        reportOk = ok
        if (!ok) {
            reportPath = ""
            reportText = error !== "" ? error : "Отчёт не записан."
            return
        }
        reportPath = shownPath(pdfPath)
        reportText = "Отчёт записан в файл " + reportPath
                + (mcRoutine.openFile(pdfPath) ? "" : ". Открыть его не удалось: откройте файл вручную.")
    }

    function archiveFinished(ok, message) {
        archiveOk = ok
        archiveText = message
        if (ok)
            timerArchive.restart()
        else
            timerArchive.stop()
    }

    Connections {
        target: mcRoutine
        function onReportFinished(ok, pdfPath, error) {
            reportFinished(ok, pdfPath, error)
        }
        function onArchiveFinished(ok, message) {
            archiveFinished(ok, message)
        }
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

    // The theme is read and written by key, not as a property of the settings
    // element: the element writes all its properties back when one of them is
    // missing from the file, and a step length the file holds must never be
    // rewritten by the window. "light" or "dark"; anything else is light.
    function chooseTheme(dark) {
        theme.dark = dark
        settingsValues.setValue("theme", dark ? "dark" : "light")
    }

    // The run's header fields by their keys in the settings file.
    readonly property var headerKeys: ({ line: "runLine", track: "runTrack", operator: "runOperator",
                                         trolley: "runTrolley", calibrationValidUntil: "calibrationValidUntil" })

    // As a Russian user types it, dd.MM.yyyy (d.M.yyyy too), or ISO; "" for
    // no date, null for text that is no date of the calendar.
    function parseDate(text) {
        text = String(text).trim()
        if (text === "")
            return ""
        var m = /^(\d{1,2})\.(\d{1,2})\.(\d{4})$/.exec(text)
        var d, mo, y
        if (m) {
            d = Number(m[1]); mo = Number(m[2]); y = Number(m[3])
        } else if ((m = /^(\d{4})-(\d{2})-(\d{2})$/.exec(text))) {
            y = Number(m[1]); mo = Number(m[2]); d = Number(m[3])
        } else {
            return null
        }
        var date = new Date(y, mo - 1, d)
        if (y < 1900 || date.getFullYear() !== y || date.getMonth() !== mo - 1 || date.getDate() !== d)
            return null
        return Qt.formatDate(date, "yyyy-MM-dd")
    }

    function displayDate(iso) {
        return iso === "" ? "" : iso.split("-").reverse().join(".")
    }

    // By key, as the theme is: see chooseTheme().
    function setRunHeaderField(key, text) {
        text = String(text).trim()
        if (key === "calibrationValidUntil") {
            var iso = parseDate(text)
            calibrationTypedBad = iso === null
            if (iso === null)
                return
            text = iso
        }
        mainWindow[headerKeys[key]] = text
        settingsValues.setValue(key, text)
    }

    function chooseArchive(on, keep) {
        archiveOn = on
        if (keep)
            settingsValues.setValue("archive", on ? "on" : "off")
        mcRoutine.setArchiveEnabled(on)
    }

    // A number the settings file holds under the key, or the default when it
    // holds none that makes sense.
    function settingNumber(key, fallback, least) {
        var n = Number(settingsValues.value(key, fallback))
        return isFinite(n) && n >= least ? n : fallback
    }

    Component.onCompleted: {
        theme.dark = String(settingsValues.value("theme", "light")) === "dark"
        for (var key in headerKeys)
            mainWindow[headerKeys[key]] = String(settingsValues.value(key, "")).trim()
        // A date edited by hand in the file that is none is no calibration.
        calibrationValidUntil = parseDate(calibrationValidUntil) || ""
        picketLength = settingNumber("picketLength", 100, 1)
        picketTolerance = settingNumber("picketTolerance", 10, 0)
        // "off" (or "false", "0") switches it off; anything else leaves it on.
        chooseArchive(["off", "false", "0"].indexOf(String(settingsValues.value("archive", "on")).trim()) < 0, false)
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
            receiveLit = false
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
        if (!measuring) {
            // What was typed for a mark belongs to this recording; a picket
            // not confirmed is not marked.
            finishMarkNote(itGauge.markNoteText)
            closeMarkChoice()
            picketQuestion = false
            mcRoutine.recordingStopped()
            refreshJournal()
            if (!dialogAfterEnter)
                saveMeasToFile()
        } else {
            askBeforeStart = false
            askNoLineTrack = false
            picketsInRun = 0
            // The last save's confirmation and its report's outcome stay
            // until they are closed or the next recording starts.
            savedText = ""
            reportText = ""
            // A pause left from the last recording (a reconnection's, say) would
            // record nothing while the lamp that tells is on another page.
            pause = false
            if (unsavedCount === 0)
                journalStartPicket = currentPicket
            // The header goes first, so that the controller's repeat rule starts
            // afresh with this recording.
            mcRoutine.recordingStarted(getRunHeader())
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

    // A loss during a recording, with the alarm sound on, is told once by a
    // tone of its own, which the tolerance beep cannot be taken for.
    onLinkStateChanged: {
        if (linkState === "lost" && measuring && (vCaption.audioEnable || hCaption.audioEnable))
            timerLinkTone.start()
    }

    Timer {
        id: timerLinkTone
        objectName: "timerLinkTone"
        interval: 600
        repeat: false
        onRunningChanged: running ? auLinkTone.play() : auLinkTone.stop()
    }

    Audio {
        id: auLinkTone
        objectName: "auLinkTone"
        source: "qrc:/linklost_880-440Hz_44100Hz_16bit.wav"
    }

    Audio {
        id: auBuzzer
        objectName: "auBuzzer"
        source: "qrc:/1kHz_44100Hz_16bit_05sec.wav"
    }

    // The platform's save dialog, or the framework's widget dialog where the
    // platform has none.
    Platform.FileDialog {
        id: fileDialog
        objectName: "fileDialog"
        title: "Журнал измерений : Укажите имя файла"
        nameFilters: ["CSV files (*.csv)"]
        fileMode: Platform.FileDialog.SaveFile
        // The dialog then checks for an existing file under the name that
        // will be written.
        defaultSuffix: "csv"
        onAccepted: chooseProtocol(fileDialog.file.toString())
    }

    Timer {
        id: timerStopHold
        objectName: "timerStopHold"
        interval: 2000
        onTriggered: {
            if (!measuring)
                return
            // The key is still down: a dialog opened now would take its repeats
            // as the answer. It opens when the key is let go.
            dialogAfterEnter = true
            stopHintText = "Запись остановлена. Отпустите Enter, чтобы выбрать файл журнала."
            requestRecording()
        }
    }

    Timer {
        id: timerEnterReleased
        objectName: "timerEnterReleased"
        interval: 150
        onTriggered: enterReleased()
    }

    Timer {
        id: timerStopHint
        objectName: "timerStopHint"
        interval: 6000
        onTriggered: stopHintText = ""
    }

    Timer {
        id: timerLastMark
        objectName: "timerLastMark"
        interval: 6000
        onTriggered: lastMarkText = ""
    }

    Timer {
        id: timerToday
        interval: 60000
        repeat: true
        running: true
        onTriggered: todayIso = Qt.formatDate(new Date(), "yyyy-MM-dd")
    }

    Timer {
        id: timerArchive
        objectName: "timerArchive"
        interval: 10000
        onTriggered: archiveText = ""
    }

    // The journal's place changes also while no row comes (a pause, a stop):
    // a full disk, a vanished folder, room again.
    Timer {
        id: timerJournal
        objectName: "timerJournal"
        interval: 1000
        repeat: true
        running: true
        onTriggered: refreshJournal()
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
            receiveLit = arrived
            if (arrived)
                counterKnown = true
            if (mcRoutine.measKeeped()) {
                keepLit = true
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
        onTriggered: keepLit = false
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

    Theme {
        id: theme
        objectName: "theme"
    }

    // Everything shown lies in one focus scope that hears the window's keys,
    // and in a pane that turns hover marks off for every control in it: a
    // pointer left resting on a button must not leave a mark on it.
    FocusScope {
        id: keyScope
        objectName: "keyScope"
        anchors.fill: parent
        focus: true
        Keys.onPressed: keyPressed(event)
        Keys.onReleased: keyReleased(event)

        Pane {
            id: paContent
            anchors.fill: parent
            padding: 0
            hoverEnabled: false
            background: Rectangle {
                color: theme.background
            }

            TabBar {
                id: tbMenu
                objectName: "tbMenu"
                // A field left with the focus on the page before must not keep
                // the keys from the run.
                onCurrentIndexChanged: takeKeys()
                // The mark under the current tab moves at once: drawn sliding,
                // it costs frames and shows under the wrong tab after a resize.
                Component.onCompleted: contentItem.highlightMoveDuration = 0
                anchors.top: parent.top
                anchors.left: parent.left
                anchors.right: parent.right
                Repeater {
                    model: ["ИНДИКАТОР", "НАСТРОЙКА", "ОПИСАНИЕ"]
                    TabButton {
                        text: modelData
                        focusPolicy: Qt.NoFocus
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

                GaugePage {
                    id: itGauge
                    objectName: "itGauge"
                    theme: theme
                    inputVertical: inputVertical
                    inputHorizontal: inputHorizontal
                    gaugeMargin: mainWindow.gaugeMargin
                    gaugeSize: getGaugeSize()
                    picketHeight: getPicketHeigth()
                    positionText: getLengthDisplay()
                    measuring: mainWindow.measuring
                    pause: mainWindow.pause
                    live: valuesLive
                    linkState: mainWindow.linkState
                    receiveLit: mainWindow.receiveLit
                    keepLit: mainWindow.keepLit
                    onPauseClicked: mainWindow.pause = !mainWindow.pause
                    onPicketClicked: markPicket()
                    markStage: mainWindow.markStage
                    markPositionText: pendingMark ? markPosition(pendingMark.picket, pendingMark.direction,
                                                                 pendingMark.distance) : ""
                    markNames: mainWindow.markNames
                    noteKind: noteMarkKind
                    lastMarkText: mainWindow.lastMarkText
                    onMarkClicked: openMarkChoice()
                    onMarkChosen: chooseMark(index)
                    onMarkCancelled: closeMarkChoice()
                    onMarkNoteDone: finishMarkNote(text)
                }

                SettingsPage {
                    id: itCaptions
                    objectName: "itCaptions"
                    theme: theme
                    inputVertical: inputVertical
                    inputHorizontal: inputHorizontal
                    picketHeight: itGauge.picketStrip.height
                    recordPixelSize: itGauge.stripPixelSize
                    recordText: getNameCommandRecord()
                    currentPicket: mainWindow.currentPicket
                    measuring: mainWindow.measuring
                    onRecordClicked: requestRecording()
                    onStartPicketEntered: {
                        mainWindow.currentPicket = picket
                        mainWindow.startDiscret = mainWindow.currentDiscret
                    }
                    onDirectionChosen: mainWindow.directionForward = forward
                    darkTheme: theme.dark
                    onThemeChosen: chooseTheme(dark)
                    runLine: mainWindow.runLine
                    runTrack: mainWindow.runTrack
                    runOperator: mainWindow.runOperator
                    runTrolley: mainWindow.runTrolley
                    calibrationText: displayDate(calibrationValidUntil)
                    calibrationHint: calibrationTypedBad
                                     ? "Не дата (дд.мм.гггг)" + (calibrationValidUntil !== ""
                                        ? ": остаётся " + displayDate(calibrationValidUntil) : "")
                                     : ""
                    onHeaderEdited: setRunHeaderField(key, text)
                    archiveOn: mainWindow.archiveOn
                    onArchiveChosen: chooseArchive(on, true)
                }

                ManualPage {
                    id: itManual
                    objectName: "itManual"
                    theme: theme
                }
            }

            MessageStrip {
                id: colMessages
                objectName: "colMessages"
                theme: theme
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                paths: getMessagePaths()
                linkText: getLinkText()
                linkLost: linkState === "lost"
                reconnectNotice: mainWindow.reconnectNotice
                recoveredFiles: mainWindow.recoveredFiles
                journalProblemText: journalError !== "" || (journalState !== "ok" && journalState !== "")
                                    ? getJournalProblemText() : ""
                journalOnlyInMemory: journalFile === "" || journalState === "memory"
                journalSaveOffered: journalState === "memory" && unsavedCount > 0
                saveFailureText: mainWindow.saveFailureText
                overwritePath: overwriteUrl !== "" ? displayPath(overwriteUrl) : ""
                startQuestionText: askBeforeStart
                                   ? "В памяти программы несохранённые измерения прошлой записи: " + unsavedCount
                                     + ". Сохранить их сейчас или добавить новую запись к ним в тот же журнал?"
                                   : ""
                unsavedText: unsavedCount > 0 && !measuring && !askBeforeStart ? getUnsavedText() : ""
                savedText: mainWindow.savedText !== "" && reportBusy
                           ? mainWindow.savedText + ". Отчёт готовится…" : mainWindow.savedText
                reportBusy: mainWindow.reportBusy
                reportText: mainWindow.reportText
                reportOk: mainWindow.reportOk
                archiveText: mainWindow.archiveText
                archiveOk: mainWindow.archiveOk
                stopHintText: mainWindow.measuring || dialogAfterEnter ? mainWindow.stopHintText : ""
                onRecoveredRead: mainWindow.recoveredFiles = []
                onOverwriteAnswered: answerOverwrite(index)
                onStartAnswered: answerStart(index)
                noLineTrackQuestion: askNoLineTrack
                picketSpacingText: picketQuestion ? getPicketSpacingText() : ""
                calibrationText: calibrationOverdue
                                 ? "Срок поверки тележки истёк " + displayDate(calibrationValidUntil) + "." : ""
                onNoLineTrackAnswered: answerNoLineTrack(index)
                onPicketSpacingAnswered: answerPicketSpacing(index)
                onSaveRequested: saveMeasToFile()
                onReportRequested: requestReport()
                onSavedClosed: mainWindow.savedText = ""
                onReportRead: mainWindow.reportText = ""
                onArchiveRead: mainWindow.archiveText = ""
            }
        }
    }
}
