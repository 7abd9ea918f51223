#pragma once
// The three 24 x 24 status pictures of the history list: a green tick, a red cross, an amber warning triangle.
#include <QIcon>

#include "app/HistoryList.h"

namespace velkor {

QIcon DrawHistoryStatusImage(THistoryPicture picture);

}  // namespace velkor
