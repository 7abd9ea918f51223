#pragma once
// The two displays under the task editor: the chain card "Durum Özeti" with its status chip, and the capacity
// labels that tell whether the next backup fits its destination. Both only draw what the core computed.
// GUI thread only.
#include <QFrame>

#include "app/IAppView.h"

class QLabel;

namespace velkor {

class TChainCardView final : public QFrame {
  Q_OBJECT
public:
  explicit TChainCardView(QWidget* parent = nullptr);
  void ShowChainCard(const TChainCard& card);

private:
  QLabel* lblChip;
  QLabel* FValues[7];
};

class TCapacityView final : public QWidget {
  Q_OBJECT
public:
  explicit TCapacityView(QWidget* parent = nullptr);
  void ShowCapacity(const TCapacityLabels& labels);

private:
  QLabel* lblCapacityInfo;
  QLabel* lblCapacityState;
};

}  // namespace velkor
