// The update wizard's view of the program: its message dialogs, the desktop's
// opener and the end of the event loop; and the product key's values the update
// reads.
#pragma once

#include "shell/product_key.h"
#include "update/auto_updater.h"
#include "update/update_host.h"

namespace shell {

// Window thread only.
class DesktopUpdateHost : public update::UpdateHost {
 public:
  job::DialogAnswer Ask(job::RepairState& state, job::Dialog dialog, QWidget* parent) override;
  bool Open(const QUrl& url) override;
  void Quit() override;
};

// "Version", "ExeName", "UpdateServer" and "Update" of `key`, the two addresses
// only as web addresses (http or https with a host).
update::UpdateKey UpdateKeyOf(const ProductKey& key);

}  // namespace shell
