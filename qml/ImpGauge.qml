import QtQuick 2.14
import QtQml 2.14
import QtQuick.Controls 2.1

// A round dial for one measuring channel: scale with tolerance colours, needle,
// value text and the two detector lamps. It shows what its InputIndicator holds
// and writes back only the detectors' work flags, which it clears at every lamp
// step. Laid out for a square item.
Item {
    id: impGauge
    objectName: "impGauge"

    property InputIndicator inputIndicator
    property real impGaugevalue: inputIndicator.mess + inputIndicator.zeroShift
    property int tickmarkInset: toPixels(0.04)
    property int outerRadius: height / 2
    property real xCenter: outerRadius
    property real yCenter: outerRadius
    property real needleLength: outerRadius - tickmarkInset * 1.25
    property real needleTipWidth: toPixels(0.01)
    property real needleBaseWidth: toPixels(0.06)
    property int degGauge: 150
    property int sumGauge: 51
    property int lowLimitg: inputIndicator.lowLimit
    property int highLimitg: inputIndicator.highLimit
    property real unitPointg: inputIndicator.unitPoint
    property bool blDetect1Enable: inputIndicator.blDetect1EnableInput
    property bool blDetect2Enable: inputIndicator.blDetect2EnableInput
    property bool blRect1Color: false
    property bool blRect2Color: false
    // False while the values shown are not the device's present ones (the
    // link is lost or silent): the value text turns grey.
    property bool live: true
    property Theme theme: Theme {}

    // Lamps that stop blinking when the values stop would freeze in whichever
    // phase they had, lit half of the time: lit looks like a working sensor.
    onLiveChanged: {
        if (!live) {
            blRect1Color = false
            blRect2Color = false
        }
    }

    function toPixels(percentage) {
        return percentage * outerRadius
    }

    function degToRad(degrees) {
        return degrees * (Math.PI / 180)
    }

    // Counter-clockwise positive, as the needle's drawing turns it; held one
    // division beyond the end marks so that an over-range value stays visible.
    function valueToDegForGauge(gaugvalue) {
        var limitDeg = degGauge + degGauge / sumGauge
        var deg = -gaugvalue / inputIndicator.unitPoint * degGauge / sumGauge
        if (deg < -limitDeg)
            deg = -limitDeg
        if (deg > limitDeg)
            deg = limitDeg
        return deg
    }

    // Also used by the run control for the distance, hence the fixed number of
    // decimals: the text must not jump in width while the operator reads it.
    function round10(realNum, accur) {
        var factor = 1
        for (var i = 0; i < accur; i++)
            factor *= 10
        var rounded = Math.round(realNum * factor) / factor
        var s = rounded.toString()
        if (accur !== 0) {
            var point = s.indexOf(".")
            if (point >= 0) {
                var missing = accur - (s.length - point - 1)
                for (var j = 0; j < missing; j++)
                    s += "0"
            } else {
                s += "."
                for (var k = 0; k < accur; k++)
                    s += "0"
            }
        }
        return s
    }

    function shiftX(x, y, shiftdeg) {
        var phi = degToRad(shiftdeg)
        return x * Math.cos(phi) + y * Math.sin(phi)
    }

    function shiftY(x, y, shiftdeg) {
        var phi = degToRad(shiftdeg)
        return y * Math.cos(phi) - x * Math.sin(phi)
    }

    // Without a turn, the needle as it stands for the gauge's value; the needle
    // canvas itself draws it unturned and leaves the turning to the renderer.
    function drawNeedle(ctx, turn) {
        var phi = turn === undefined ? valueToDegForGauge(impGaugevalue) : turn
        var b = needleBaseWidth
        var t = needleTipWidth
        var len = needleLength
        var points = [[0, b / 2], [-b / 2, 0], [-t / 2, -len], [t / 2, -len], [b / 2, 0], [0, b / 2]]
        ctx.beginPath()
        for (var i = 0; i < points.length; i++) {
            var px = xCenter + shiftX(points[i][0], points[i][1], phi)
            var py = yCenter + shiftY(points[i][0], points[i][1], phi)
            if (i === 0)
                ctx.moveTo(px, py)
            else
                ctx.lineTo(px, py)
        }
        ctx.closePath()
        ctx.fillStyle = theme.needle
        ctx.fill()
    }

    // The factors are kept as the decimals the dial was drawn with.
    function getLengthMark(index) {
        var factor = 1
        if (index % 5 === 0)
            factor = 1.333333
        if (index % 10 === 0)
            factor = 1.666667
        return 0.07 * outerRadius * factor
    }

    function getScaleText(value) {
        var d = inputIndicator.accurDivision === 0 ? 0 : inputIndicator.accurDivision - 1
        return round10(value, d)
    }

    // Strict comparisons: a label on a limit is still within tolerance.
    function getScaleColor(value) {
        return (value > inputIndicator.highLimit || value < inputIndicator.lowLimit)
                ? theme.outOfToleranceText : theme.dialText
    }

    // Unlike the scale, the value text is already out of tolerance on a limit.
    function getMessColor() {
        if (inputIndicator.blOverRange1 || inputIndicator.blOverRange2)
            return theme.overRangeText
        var value = inputIndicator.mess + inputIndicator.zeroShift
        return (value >= inputIndicator.highLimit || value <= inputIndicator.lowLimit)
                ? theme.outOfToleranceText : theme.dialText
    }

    Rectangle {
        id: rectBackground
        objectName: "rectBackground"
        anchors.fill: parent
        color: theme.dial
        radius: width / 2
    }

    Repeater {
        id: rpMarkers
        objectName: "rpMarkers"
        model: 103

        Marker {
            property int output: index - 51

            centerX: outerRadius
            centerY: outerRadius
            radiusDial: outerRadius
            thicknessMark: 0.01 * outerRadius
            visibleMark: true
            angleMark: output * degGauge / sumGauge
            lengthMark: getLengthMark(output)
            colorMark: (output > inputIndicator.highLimit / inputIndicator.unitPoint
                        || output < inputIndicator.lowLimit / inputIndicator.unitPoint)
                       ? theme.outOfToleranceMark : theme.dialMark
        }
    }

    Text {
        id: messText
        objectName: "messText"
        // Text and colour follow the value while the gauge is shown (below).
        font.pixelSize: 0.3 * outerRadius
        // Struck through while it is not the device's present value.
        font.strikeout: !live
        horizontalAlignment: Text.AlignRight
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.top: parent.verticalCenter
        anchors.topMargin: 0.25 * outerRadius
    }

    Text {
        id: txUnit
        objectName: "txUnit"
        text: inputIndicator.messUnit
        color: theme.dialText
        font.pixelSize: 0.09 * outerRadius
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.top: parent.top
        anchors.topMargin: parent.height * 3 / 10
    }

    Text {
        id: txScaleM50
        objectName: "txScaleM50"
        property real scaleValue: -50 * inputIndicator.unitPoint
        text: getScaleText(scaleValue)
        color: getScaleColor(scaleValue)
        font.pixelSize: Math.max(6, 0.1 * outerRadius)
        antialiasing: true
        anchors.left: parent.left
        anchors.leftMargin: 0.6 * outerRadius
        anchors.top: parent.verticalCenter
        anchors.topMargin: 0.6 * outerRadius
    }

    Text {
        id: txScaleP50
        objectName: "txScaleP50"
        property real scaleValue: 50 * inputIndicator.unitPoint
        text: getScaleText(scaleValue)
        color: getScaleColor(scaleValue)
        font.pixelSize: Math.max(6, 0.1 * outerRadius)
        antialiasing: true
        anchors.right: parent.right
        anchors.rightMargin: 0.6 * outerRadius
        anchors.top: parent.verticalCenter
        anchors.topMargin: 0.6 * outerRadius
    }

    Text {
        id: txScaleM40
        objectName: "txScaleM40"
        property real scaleValue: -40 * inputIndicator.unitPoint
        text: getScaleText(scaleValue)
        color: getScaleColor(scaleValue)
        font.pixelSize: Math.max(6, 0.1 * outerRadius)
        antialiasing: true
        anchors.left: parent.left
        anchors.leftMargin: 0.3 * outerRadius
        anchors.top: parent.verticalCenter
        anchors.topMargin: 0.3 * outerRadius
    }

    Text {
        id: txScaleP40
        objectName: "txScaleP40"
        property real scaleValue: 40 * inputIndicator.unitPoint
        text: getScaleText(scaleValue)
        color: getScaleColor(scaleValue)
        font.pixelSize: Math.max(6, 0.1 * outerRadius)
        antialiasing: true
        anchors.right: parent.right
        anchors.rightMargin: 0.3 * outerRadius
        anchors.top: parent.verticalCenter
        anchors.topMargin: 0.3 * outerRadius
    }

    Text {
        id: txScaleM30
        objectName: "txScaleM30"
        property real scaleValue: -30 * inputIndicator.unitPoint
        text: getScaleText(scaleValue)
        color: getScaleColor(scaleValue)
        font.pixelSize: Math.max(6, 0.1 * outerRadius)
        antialiasing: true
        anchors.left: parent.left
        anchors.leftMargin: 0.2 * outerRadius
        anchors.verticalCenter: parent.verticalCenter
    }

    Text {
        id: txScaleP30
        objectName: "txScaleP30"
        property real scaleValue: 30 * inputIndicator.unitPoint
        text: getScaleText(scaleValue)
        color: getScaleColor(scaleValue)
        font.pixelSize: Math.max(6, 0.1 * outerRadius)
        antialiasing: true
        anchors.right: parent.right
        anchors.rightMargin: 0.2 * outerRadius
        anchors.verticalCenter: parent.verticalCenter
    }

    Text {
        id: txScaleM20
        objectName: "txScaleM20"
        property real scaleValue: -20 * inputIndicator.unitPoint
        text: getScaleText(scaleValue)
        color: getScaleColor(scaleValue)
        font.pixelSize: Math.max(6, 0.1 * outerRadius)
        antialiasing: true
        anchors.left: parent.left
        anchors.leftMargin: 0.3 * outerRadius
        anchors.bottom: parent.verticalCenter
        anchors.bottomMargin: 0.3 * outerRadius
    }

    Text {
        id: txScaleP20
        objectName: "txScaleP20"
        property real scaleValue: 20 * inputIndicator.unitPoint
        text: getScaleText(scaleValue)
        color: getScaleColor(scaleValue)
        font.pixelSize: Math.max(6, 0.1 * outerRadius)
        antialiasing: true
        anchors.right: parent.right
        anchors.rightMargin: 0.3 * outerRadius
        anchors.bottom: parent.verticalCenter
        anchors.bottomMargin: 0.3 * outerRadius
    }

    Text {
        id: txScaleM10
        objectName: "txScaleM10"
        property real scaleValue: -10 * inputIndicator.unitPoint
        text: getScaleText(scaleValue)
        color: getScaleColor(scaleValue)
        font.pixelSize: Math.max(6, 0.1 * outerRadius)
        antialiasing: true
        anchors.left: parent.left
        anchors.leftMargin: 0.6 * outerRadius
        anchors.bottom: parent.verticalCenter
        anchors.bottomMargin: 0.6 * outerRadius
    }

    Text {
        id: txScaleP10
        objectName: "txScaleP10"
        property real scaleValue: 10 * inputIndicator.unitPoint
        text: getScaleText(scaleValue)
        color: getScaleColor(scaleValue)
        font.pixelSize: Math.max(6, 0.1 * outerRadius)
        antialiasing: true
        anchors.right: parent.right
        anchors.rightMargin: 0.6 * outerRadius
        anchors.bottom: parent.verticalCenter
        anchors.bottomMargin: 0.6 * outerRadius
    }

    Text {
        id: txScale0
        objectName: "txScale0"
        property real scaleValue: 0
        text: "0"
        color: getScaleColor(scaleValue)
        font.pixelSize: Math.max(6, 0.1 * outerRadius)
        antialiasing: true
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.top: parent.top
        anchors.topMargin: 0.2 * outerRadius
    }

    // The needle is painted once, unturned, on a canvas no larger than itself, and
    // turned about the dial's centre by the renderer. A step of the value then
    // costs a repaint of the needle's bounding box only, not a script repaint of the
    // whole dial with its marks and labels.
    Canvas {
        id: canvasGauge
        objectName: "canvasGauge"

        // The dial's centre in the canvas, in whole pixels, so that the unturned
        // needle covers exactly the pixels it would cover drawn on the dial.
        readonly property int pivotX: Math.ceil(needleBaseWidth / 2) + 2
        readonly property int pivotY: Math.ceil(needleLength) + 2
        // The needle's shape can change with the dial's size while the canvas,
        // rounded to whole pixels, keeps its size.
        readonly property var needleShape: [needleLength, needleBaseWidth, needleTipWidth]

        x: xCenter - pivotX
        y: yCenter - pivotY
        width: 2 * pivotX
        height: pivotY + pivotX
        antialiasing: true
        transform: Rotation {
            id: needleTurn
            objectName: "needleTurn"
            origin.x: canvasGauge.pivotX
            origin.y: canvasGauge.pivotY
        }

        // Lets the tests and the benchmark see how often the needle is drawn.
        property int paintCount: 0

        onNeedleShapeChanged: requestPaint()
        readonly property color needleColor: theme.needle
        onNeedleColorChanged: requestPaint()
        onPaint: {
            var ctx = getContext("2d")
            ctx.globalCompositeOperation = "source-over"
            ctx.reset()
            ctx.translate(pivotX - xCenter, pivotY - yCenter)
            drawNeedle(ctx, 0)
            paintCount++
        }
    }

    // What follows the value at every step of its smoothing holds still while the
    // gauge is hidden (another page of the window is shown): the software renderer
    // repaints whatever is shown in front of a hidden item that changes. Shown
    // again, the gauge takes the current value at once.
    Binding {
        target: needleTurn
        property: "angle"
        // The turn is counter-clockwise positive, the item's rotation clockwise.
        value: -valueToDegForGauge(impGaugevalue)
        when: impGauge.visible
        restoreMode: Binding.RestoreNone
    }

    Binding {
        target: messText
        property: "text"
        value: round10(inputIndicator.mess + inputIndicator.zeroShift, inputIndicator.accuracy)
        when: impGauge.visible
        restoreMode: Binding.RestoreNone
    }

    Binding {
        target: messText
        property: "color"
        value: live ? getMessColor() : theme.staleText
        when: impGauge.visible
        restoreMode: Binding.RestoreNone
    }

    Row {
        id: rowLamps
        objectName: "rowLamps"
        spacing: 0
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.bottom: parent.bottom
        anchors.bottomMargin: Math.max(6, 0.1 * outerRadius)

        Rectangle {
            id: rectLamp1
            objectName: "rectLamp1"
            width: Math.max(20, 0.1 * outerRadius)
            height: width
            radius: width / 2
            border.color: theme.detectorBorder
            color: blRect1Color ? theme.detectorOn : theme.detectorOff
            visible: blDetect1Enable

            Text {
                id: txtD1
                objectName: "txtD1"
                anchors.centerIn: parent
                text: "1"
                color: blRect1Color ? theme.detectorOff : theme.detectorOn
                font.pixelSize: Math.max(6, 0.07 * outerRadius)
                visible: blDetect1Enable
            }
        }

        Text {
            id: txLampSpacer
            objectName: "txLampSpacer"
            text: (blDetect1Enable && blDetect2Enable) ? "  " : ""
        }

        Rectangle {
            id: rectLamp2
            objectName: "rectLamp2"
            width: Math.max(20, 0.1 * outerRadius)
            height: width
            radius: width / 2
            border.color: theme.detectorBorder
            color: blRect2Color ? theme.detectorOn : theme.detectorOff
            visible: blDetect2Enable

            Text {
                id: txtD2
                objectName: "txtD2"
                anchors.centerIn: parent
                text: "2"
                color: blRect2Color ? theme.detectorOff : theme.detectorOn
                font.pixelSize: Math.max(6, 0.07 * outerRadius)
                visible: blDetect2Enable
            }
        }
    }

    // A lamp changes phase only if its detector reported work since the last
    // step, so it blinks while the detector works and freezes when it stops.
    Timer {
        id: timerLamp
        objectName: "timerLamp"
        interval: 500
        repeat: true
        running: true
        onTriggered: {
            if (inputIndicator.blDetect1WorkInput) {
                blRect1Color = !blRect1Color
                inputIndicator.blDetect1WorkInput = false
            }
            if (inputIndicator.blDetect2WorkInput) {
                blRect2Color = !blRect2Color
                inputIndicator.blDetect2WorkInput = false
            }
        }
    }
}
