import QtQuick 2.14

// The strip of messages for the operator below the window's pages, one row per
// message that has something to say, in a fixed order. The window gives each
// message its text (empty: no row) and hears the answers.
Column {
    id: messageStrip

    property string linkText: ""
    property bool reconnectNotice: false
    property var recoveredFiles: []
    property string journalProblemText: ""
    property bool journalOnlyInMemory: false
    property string saveFailureText: ""
    property string overwritePath: ""
    property string startQuestionText: ""
    property string unsavedText: ""
    property string savedText: ""

    signal recoveredRead()
    signal overwriteAnswered(int index)
    signal startAnswered(int index)
    signal saveRequested()

    MessageRow {
        id: itLinkState
        objectName: "itLinkState"
        visible: text !== ""
        color: "dim grey"
        text: linkText
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
        onAnswered: recoveredRead()
    }

    MessageRow {
        id: itJournalProblem
        objectName: "itJournalProblem"
        visible: text !== ""
        color: journalOnlyInMemory ? "tomato" : "darkgoldenrod"
        text: journalProblemText
    }

    MessageRow {
        id: itSaveFailure
        objectName: "itSaveFailure"
        visible: text !== ""
        text: saveFailureText
    }

    MessageRow {
        id: itOverwrite
        objectName: "itOverwrite"
        visible: overwritePath !== ""
        color: "darkorange"
        text: "Файл " + overwritePath + " уже существует. Заменить его журналом?"
        answers: ["Заменить", "Другой файл", "Отмена"]
        onAnswered: overwriteAnswered(index)
    }

    MessageRow {
        id: itStartQuestion
        objectName: "itStartQuestion"
        visible: text !== ""
        color: "darkorange"
        text: startQuestionText
        answers: ["Сохранить журнал", "Добавить к ним", "Отмена"]
        onAnswered: startAnswered(index)
    }

    MessageRow {
        id: itUnsaved
        objectName: "itUnsaved"
        visible: text !== ""
        color: "chocolate"
        text: unsavedText
        answers: ["Сохранить журнал"]
        onAnswered: saveRequested()
    }

    MessageRow {
        id: itSaved
        objectName: "itSaved"
        visible: text !== ""
        color: "seagreen"
        text: savedText
    }
}
