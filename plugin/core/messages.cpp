#include "plugin/core/messages.h"

namespace vrim {

const MessageFuncs* messageService = nullptr;

void showInfo(const char* first, const char* second) {
    if (messageService != nullptr && messageService->info != nullptr) {
        messageService->info(first, second);
    }
}

void showError(const char* first, const char* second) {
    if (messageService != nullptr && messageService->error != nullptr) {
        messageService->error(first, second);
    }
}

} // namespace vrim
