#pragma once

#include <QLineEdit>

class QLabel;

// Single-line edit box with its label above it. The label is a sibling in the same parent and
// follows the box when it moves.
class LabeledEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit LabeledEdit(const QString &label, QWidget *parent);

    QLabel *editLabel() const { return m_label; }
    void setLabelText(const QString &text);

signals:
    // A press of the pointer or a tap inside the box.
    void clicked();

protected:
    void moveEvent(QMoveEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void placeLabel();
    QLabel *m_label;
};
