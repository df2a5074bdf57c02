#pragma once

#include <QPixmap>
#include <QWidget>

// Picture control that stretches its picture to its own size (the aspect ratio is not kept).
// A left-button click or a tap on a touch screen emits clicked().
class PictureBox : public QWidget
{
    Q_OBJECT
public:
    explicit PictureBox(QWidget *parent = nullptr);

    const QPixmap &picture() const { return m_picture; }
    void setPicture(const QPixmap &picture);
    void setPicture(const QImage &image);
    void clear();
    bool isEmpty() const { return m_picture.isNull(); }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QPixmap m_picture;
    bool m_pressed = false;
};
