#pragma once

#include <QStringList>

class DataEnvironment;
class QLineEdit;
class QPushButton;
class QWidget;

// Pieces the listing windows share.
namespace WindowParts {

QPushButton* button(const QString& name, const QString& caption, QWidget* parent);

// The building filter: the separator between building and room ("-" to start
// with) and the building itself.
struct BuildingBoxes {
    QLineEdit* separator;
    QLineEdit* building;
};
BuildingBoxes buildingBoxes(QWidget* parent);

// Every month that has a bill, oldest first. StoreError when it cannot be read.
QStringList billedMonths(DataEnvironment& data);

}  // namespace WindowParts
