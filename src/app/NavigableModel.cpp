#include "app/NavigableModel.h"

NavigableModel::NavigableModel(QObject* parent) : QAbstractTableModel(parent) {}

NavigableModel::~NavigableModel() = default;
