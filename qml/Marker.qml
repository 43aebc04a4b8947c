import QtQuick 2.5
import QtQuick.Controls 2.1

// One scale mark of the dial: a thin bar with its outer end on the dial circle,
// turned about that end so that it points to the centre. The gauge repeats it
// for every division and sets all of its properties.
Item {
    id: marker
    anchors.fill: parent

    property real centerX: 0
    property real centerY: 0
    property real radiusDial: 0
    property real lengthMark: 10
    property real thicknessMark: 1
    property color colorMark: "black"
    property real angleMark: 0
    property bool visibleMark: true

    function degToRad(degrees) {
        return degrees * (Math.PI / 180)
    }

    // The bar is laid out horizontally before it is turned; its end on the
    // circle is the right end on the right half and the left end on the left
    // half, so that a turn of less than a right angle brings it inwards.
    function getX() {
        var theta = degToRad(angleMark - 90)
        var px = centerX + radiusDial * Math.cos(theta)
        return angleMark >= 0 ? px - lengthMark : px
    }

    function getY() {
        var theta = degToRad(angleMark - 90)
        return centerY + radiusDial * Math.sin(theta) - thicknessMark / 2
    }

    function getTransformOrigin(a) {
        return a >= 0 ? Item.Right : Item.Left
    }

    function getRotation(a) {
        return a >= 0 ? a - 90 : a + 90
    }

    Rectangle {
        id: rectMark
        objectName: "rectMark"
        antialiasing: true
        width: lengthMark
        height: thicknessMark
        color: colorMark
        visible: visibleMark
        x: getX()
        y: getY()
        transformOrigin: getTransformOrigin(angleMark)
        rotation: getRotation(angleMark)
    }
}
