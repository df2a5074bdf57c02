#pragma once

#include <QPixmap>
#include <QWidget>

// Picture control. By default it stretches its picture to its own size (backgrounds, stars,
// arrows: pictures made for their box). In Cover mode (photos) it scales the picture keeping
// its proportions until it covers the whole box, centred, and cuts off what overflows, so a
// face is never distorted. A left-button click or a tap on a touch screen emits clicked().
class PictureBox : public QWidget
{
    Q_OBJECT
public:
    explicit PictureBox(QWidget *parent = nullptr);

    enum class Scaling
    {
        Stretch,
        Cover
    };
    Scaling scaling() const { return m_scaling; }
    void setScaling(Scaling scaling);

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
    Scaling m_scaling = Scaling::Stretch;
    bool m_pressed = false;
};
