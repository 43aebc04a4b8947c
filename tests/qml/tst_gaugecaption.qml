import QtQuick 2.5
import QtTest 1.2
import "qrc:/"

Item {
    id: root
    width: 1000
    height: 400

    // The vertical channel's panel and dial, sharing one indicator as in the window.
    Component {
        id: rigComponent
        Item {
            property alias indicator: ind
            property alias caption: caption
            property alias gauge: gauge
            anchors.fill: parent

            InputIndicator {
                id: ind
                unitPoint: 0.4
                accuracy: 1
                lowLimit: -6
                highLimit: 6
            }
            GaugeCaption {
                id: caption
                width: 700
                height: 300
                inputIndicator: ind
            }
            ImpGauge {
                id: gauge
                x: 700
                width: 300
                height: 300
                inputIndicator: ind
            }
        }
    }

    TestCase {
        name: "GaugeCaption"
        when: windowShown

        function makeRig() {
            var rig = createTemporaryObject(rigComponent, root)
            verify(rig !== null)
            return rig
        }

        function part(rig, name) {
            var item = findChild(rig.caption, name)
            verify(item !== null, "no part named " + name)
            return item
        }

        function typeInto(field, keys) {
            field.forceActiveFocus()
            verify(field.activeFocus)
            field.selectAll()
            for (var i = 0; i < keys.length; i++)
                keyClick(keys[i])
        }

        // Without a finishing key the edit ends by moving the focus to the other field.
        function test_limitEdit_data() {
            return [
                { tag: "upper, Return", field: "tfHiLimit", keys: "7", finish: Qt.Key_Return, expected: 7 },
                { tag: "upper, Enter", field: "tfHiLimit", keys: "7", finish: Qt.Key_Enter, expected: 7 },
                { tag: "upper, focus to the other field", field: "tfHiLimit", keys: "7", expected: 7 },
                { tag: "lower, negative", field: "tfLoLimit", keys: "-8", finish: Qt.Key_Return, expected: -8 },
                { tag: "lower above upper accepted", field: "tfLoLimit", keys: "10", finish: Qt.Key_Return, expected: 10 },
                { tag: "range end", field: "tfHiLimit", keys: "20", finish: Qt.Key_Return, expected: 20 },
                { tag: "25 rejected on Return", field: "tfHiLimit", keys: "25", finish: Qt.Key_Return, expected: 6 },
                { tag: "25 rejected on focus loss", field: "tfHiLimit", keys: "25", expected: 6 },
                { tag: "below -20, last digit refused", field: "tfLoLimit", keys: "-21", shown: "-2",
                  finish: Qt.Key_Return, expected: -2 },
            ]
        }

        function test_limitEdit(data) {
            var rig = makeRig()
            var upper = data.field === "tfHiLimit"
            var limit = upper ? "highLimit" : "lowLimit"
            var field = part(rig, data.field)
            var before = rig.indicator[limit]
            compare(field.text, String(before))

            typeInto(field, data.keys)
            compare(field.text, data.shown || data.keys)
            compare(rig.indicator[limit], before, "an unfinished edit reached the indicator")
            if (data.finish)
                keyClick(data.finish)
            else
                part(rig, upper ? "tfLoLimit" : "tfHiLimit").forceActiveFocus()
            compare(rig.indicator[limit], data.expected)
        }

        // The dial follows a finished edit at once: the value text turns red
        // at the new limit 7.0, no longer at 6.0.
        function test_finishedEditRecoloursDial() {
            var rig = makeRig()
            var messText = findChild(rig.gauge, "messText")
            rig.indicator.mess = 6
            tryCompare(rig.indicator, "mess", 6, 3000)
            compare(messText.color.toString(), "#c62828")
            typeInto(part(rig, "tfHiLimit"), "7")
            keyClick(Qt.Key_Enter)
            compare(messText.color.toString(), "#000000")
            rig.indicator.mess = 7
            tryCompare(rig.indicator, "mess", 7, 3000)
            compare(messText.color.toString(), "#c62828")
        }

        // The entry shown and `audioEnable` and `longPlay` after the selector went
        // through `path`, and the [audioEnable, longPlay] pairs seen at each switch
        // of `audioEnable` in the last step: the tone's length must already be set
        // when the sound is switched on.
        function test_soundSelector_data() {
            return [
                { tag: "starts off and short", path: [], text: "Выключено", now: [false, false], seen: [] },
                { tag: "long switches on with its length", path: [2], text: "Длинное", now: [true, true], seen: [[true, true]] },
                { tag: "off keeps the length", path: [2, 0], text: "Выключено", now: [false, true], seen: [[false, true]] },
                { tag: "short after long switches on short", path: [2, 0, 1], text: "Короткое", now: [true, false],
                  seen: [[true, false]] },
                { tag: "long while on changes only the length", path: [1, 2], text: "Длинное", now: [true, true], seen: [] },
                { tag: "no entry changes nothing", path: [1, -1], text: "", now: [true, false], seen: [] },
            ]
        }

        function test_soundSelector(data) {
            var caption = makeRig().caption
            var selector = findChild(caption, "cbSound")
            var seen = []
            caption.audioEnableChanged.connect(function () { seen.push([caption.audioEnable, caption.longPlay]) })
            for (var i = 0; i < data.path.length; i++) {
                seen = []
                selector.currentIndex = data.path[i]
            }
            compare(selector.displayText, data.text)
            compare([caption.audioEnable, caption.longPlay], data.now)
            compare(seen, data.seen)
        }
    }
}
