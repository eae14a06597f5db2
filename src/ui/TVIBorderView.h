#pragma once

#include <QWidget>

namespace tvi {

// The header or footer bar of the contacts bar: a light vertical gradient with a separator line
// on the edge that faces the content; plain when the vibrant appearance is on.
class TVIBorderView : public QWidget {
public:
    enum class Edge { Top, Bottom };
    explicit TVIBorderView(Edge edge, QWidget* parent = nullptr);

    Edge edge() const { return edge_; }
    // True where the system offers the vibrant appearance and the preference is on.
    static bool allowsVibrancy();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Edge edge_;
};

}
