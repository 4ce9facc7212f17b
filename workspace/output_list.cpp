#include "workspace/output_list.h"

namespace workspace {

COutputList::COutputList(QWidget* parent) : QListWidget(parent) {
  setObjectName(QStringLiteral("COutputList"));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setUniformItemSizes(true);  // long logs stay quick to lay out
}

}  // namespace workspace
