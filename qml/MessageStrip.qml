import QtQuick 2.14
import QtQuick.Controls 2.14

// The strip of messages for the operator below the window's pages: one row per
// message that has something to say, questions first and standing reminders
// (an overdue calibration) last, so that the answer to the operator's last
// action stays in view. Its room is kept whether
// or not a message is shown, so that no message ever moves, shrinks or covers
// a control; more messages than it holds scroll within it. The window gives
// each message its text (empty: no row) and hears the answers.
Rectangle {
    id: messageStrip

    property Theme theme: Theme {}
    property string linkText: ""
    property bool linkLost: false
    property bool reconnectNotice: false
    property var recoveredFiles: []
    // Paths the messages may name: their lines break only between path parts.
    property var paths: []
    property string journalProblemText: ""
    property bool journalOnlyInMemory: false
    property string saveFailureText: ""
    property string overwritePath: ""
    property string startQuestionText: ""
    property string unsavedText: ""
    property string savedText: ""
    property string stopHintText: ""
    property bool noLineTrackQuestion: false
    property string picketSpacingText: ""
    property string calibrationText: ""
    // The save confirmation offers the report of that protocol; not while one
    // is being made.
    property bool reportBusy: false
    // The report's outcome, and the archive's: a success or a failure.
    property string reportText: ""
    property bool reportOk: true
    property string archiveText: ""
    property bool archiveOk: true
    // The journal's problem can be solved by saving the rows now.
    property bool journalSaveOffered: false

    // Room for two rows of two lines each.
    readonly property real reservedHeight: 2 * 64 + colRows.spacing

    signal recoveredRead()
    signal overwriteAnswered(int index)
    signal startAnswered(int index)
    signal saveRequested()
    signal noLineTrackAnswered(int index)
    signal picketSpacingAnswered(int index)
    signal reportRequested()
    signal savedClosed()
    signal reportRead()
    signal archiveRead()

    height: reservedHeight
    color: theme.background

    Flickable {
        id: flRows
        objectName: "flRows"
        anchors.fill: parent
        clip: true
        contentHeight: colRows.height
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar {
            id: sbRows
            width: 16
            policy: flRows.contentHeight > flRows.height ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
        }

        Column {
            id: colRows
            objectName: "colRows"
            // Beside the scroll bar, not under it: the rows' buttons end at
            // their right edge.
            width: flRows.width - (sbRows.policy === ScrollBar.AlwaysOn ? sbRows.width : 0)
            spacing: 2

            MessageRow {
                id: itStopHint
                objectName: "itStopHint"
                theme: messageStrip.theme
                paths: messageStrip.paths
                visible: text !== ""
                color: theme.messageInfo
                text: stopHintText
            }

            MessageRow {
                id: itPicketSpacing
                objectName: "itPicketSpacing"
                theme: messageStrip.theme
                paths: messageStrip.paths
                visible: text !== ""
                color: theme.messageQuestion
                text: picketSpacingText
                answers: ["Да", "Нет"]
                onAnswered: picketSpacingAnswered(index)
            }

            MessageRow {
                id: itOverwrite
                objectName: "itOverwrite"
                theme: messageStrip.theme
                paths: messageStrip.paths
                visible: overwritePath !== ""
                color: theme.messageQuestion
                text: "Файл " + overwritePath + " уже существует. Заменить его журналом?"
                answers: ["Заменить", "Другой файл", "Отмена"]
                onAnswered: overwriteAnswered(index)
            }

            MessageRow {
                id: itStartQuestion
                objectName: "itStartQuestion"
                theme: messageStrip.theme
                paths: messageStrip.paths
                visible: text !== ""
                color: theme.messageQuestion
                text: startQuestionText
                answers: ["Сохранить журнал", "Добавить к ним", "Отмена"]
                onAnswered: startAnswered(index)
            }

            MessageRow {
                id: itNoLineTrack
                objectName: "itNoLineTrack"
                theme: messageStrip.theme
                paths: messageStrip.paths
                visible: noLineTrackQuestion
                color: theme.messageQuestion
                text: "Линия и путь не указаны (вкладка НАСТРОЙКА): записать без линии и пути?"
                answers: ["Записать", "Отмена"]
                onAnswered: noLineTrackAnswered(index)
            }

            MessageRow {
                id: itSaveFailure
                objectName: "itSaveFailure"
                theme: messageStrip.theme
                paths: messageStrip.paths
                visible: text !== ""
                color: theme.messageError
                text: saveFailureText
            }

            MessageRow {
                id: itJournalProblem
                objectName: "itJournalProblem"
                theme: messageStrip.theme
                paths: messageStrip.paths
                visible: text !== ""
                color: journalOnlyInMemory ? theme.messageError : theme.messageWarning
                text: journalProblemText
                answers: journalSaveOffered ? ["Сохранить сейчас"] : []
                onAnswered: saveRequested()
            }

            MessageRow {
                id: itReconnect
                objectName: "itReconnect"
                theme: messageStrip.theme
                paths: messageStrip.paths
                visible: reconnectNotice
                color: theme.messageWarning
                text: "Связь с тележкой восстановлена, запись приостановлена. Проверьте положение тележки "
                      + "(на пикете нажмите ПИКЕТ) и нажмите ПРОДОЛЖИТЬ."
            }

            MessageRow {
                id: itLinkState
                objectName: "itLinkState"
                theme: messageStrip.theme
                paths: messageStrip.paths
                visible: text !== ""
                color: linkLost ? theme.messageError : theme.messageInfo
                text: linkText
            }

            MessageRow {
                id: itRecovered
                objectName: "itRecovered"
                theme: messageStrip.theme
                paths: messageStrip.paths
                visible: recoveredFiles.length > 0
                color: theme.messageNotice
                text: "Несохранённый журнал прошлого запуска записан в файл " + recoveredFiles.join(", ")
                answers: ["Понятно"]
                onAnswered: recoveredRead()
            }

            MessageRow {
                id: itUnsaved
                objectName: "itUnsaved"
                theme: messageStrip.theme
                paths: messageStrip.paths
                visible: text !== ""
                color: theme.messageAttention
                text: unsavedText
                answers: ["Сохранить журнал"]
                onAnswered: saveRequested()
            }

            // The answer to the operator's last action first, then the archive's
            // outcome of the save, then the save's confirmation.
            MessageRow {
                id: itReport
                objectName: "itReport"
                theme: messageStrip.theme
                paths: messageStrip.paths
                visible: text !== ""
                color: reportOk ? theme.messageSuccess : theme.messageError
                text: reportText
                answers: ["Понятно"]
                onAnswered: reportRead()
            }

            MessageRow {
                id: itArchive
                objectName: "itArchive"
                theme: messageStrip.theme
                paths: messageStrip.paths
                visible: text !== ""
                color: archiveOk ? theme.messageSuccess : theme.messageError
                text: archiveText
                // A success goes by itself; a failure waits to be read.
                answers: archiveOk ? [] : ["Понятно"]
                onAnswered: archiveRead()
            }

            MessageRow {
                id: itSaved
                objectName: "itSaved"
                theme: messageStrip.theme
                paths: messageStrip.paths
                visible: text !== ""
                color: theme.messageSuccess
                text: savedText
                answers: ["ОТЧЁТ", "Закрыть"]
                answersEnabled: [!reportBusy, true]
                onAnswered: index === 0 ? reportRequested() : savedClosed()
            }

            MessageRow {
                id: itCalibration
                objectName: "itCalibration"
                theme: messageStrip.theme
                paths: messageStrip.paths
                visible: text !== ""
                color: theme.messageWarning
                text: calibrationText
            }
        }
    }
}
