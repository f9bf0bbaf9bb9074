#pragma once
// Every store in one include.

#include "stores/board_store.h"
#include "stores/dept_store.h"
#include "stores/log_store.h"
#include "stores/memo_store.h"
#include "stores/message_store.h"
#include "stores/phone_store.h"
#include "stores/schedule_store.h"
