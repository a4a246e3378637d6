// A data-aware navigator: buttons that move through, edit and refresh the data set behind a
// model, enabled as the data set's state allows.
#pragma once

#include <QPointer>
#include <QWidget>

#include <array>

class NavigableModel;
class QToolButton;

class TDBNavigator : public QWidget {
  Q_OBJECT
 public:
  // The buttons, left to right (their object names are "nbFirst", "nbPrior", ...).
  enum Button { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh, ButtonCount };

  explicit TDBNavigator(QWidget* parent = nullptr);

  // The model followed; nullptr disables every button.
  NavigableModel* dataSource() const { return source_; }
  void setDataSource(NavigableModel* source);
  // Flat buttons draw no frame until hovered.
  void setFlat(bool flat);
  bool isFlat() const { return flat_; }

  QToolButton* button(Button b) const { return buttons_.at(b); }

  // Runs a button's action on the model (Delete asks ConfirmDelete first). Failures of the
  // data set pass to the caller (from a click: to the application's error box).
  void click(Button b);

 private:
  void updateButtons();

  QPointer<NavigableModel> source_;
  QMetaObject::Connection sourceConnection_;
  std::array<QToolButton*, ButtonCount> buttons_{};
  bool flat_ = false;
};
