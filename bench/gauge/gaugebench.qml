import QtQuick 2.5
import "qrc:/"

// One dial configured as the window's vertical channel.
Item {
    width: 600
    height: 600

    InputIndicator {
        id: inputVertical
        unitPoint: 0.4
        messUnit: "мм"
        accuracy: 1
        lowLimit: -6
        highLimit: 6
        blDetect1EnableInput: true
    }

    ImpGauge {
        anchors.fill: parent
        inputIndicator: inputVertical
    }
}
