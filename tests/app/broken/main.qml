import QtQuick 2.14
import QtQuick.Window 2.14

Window {
    visible: true
    // A property of a type that does not exist: the document cannot be created.
    NoSuchType { }
}
