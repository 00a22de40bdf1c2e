#pragma once

#include "WriteStatus.h"

#include <QString>

// Replaces the environment references $NAME, $(NAME) and ${NAME} in path. Returns an
// empty message when every referenced variable has a non-empty value, otherwise a
// message naming the undefined ones; result holds the (partly) substituted path.
WriteStatus substituteEnvironmentVariables(const QString& path, QString& result);
