#pragma once

#include <QProxyStyle>

namespace tarvesk {

// Masks password characters with "*" whatever the desktop style would use.
class AsteriskPasswordStyle : public QProxyStyle {
    Q_OBJECT
public:
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
};

}  // namespace tarvesk
