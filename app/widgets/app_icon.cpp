#include "app/widgets/app_icon.h"

// The resources live in a static library: register them explicitly (outside
// any namespace, as the resource initialiser is declared at global scope).
static void init_resources()
{
    Q_INIT_RESOURCE(kestrel);
}

QIcon app_icon()
{
    init_resources();
    return QIcon(QStringLiteral(":/kestrel.svg"));
}
