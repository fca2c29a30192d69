#pragma once
// Controls carry their given name as objectName too: the settings keys and the tests use it.

#include <QString>

namespace lex::pintop {

template <typename W> W *named(W *widget, const char *name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace lex::pintop
