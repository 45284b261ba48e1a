#include "vault/record.h"

namespace vault {

SiteRecord CurrentRecord{};

}  // namespace vault
