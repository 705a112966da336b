// Object bags: items with free routines, freed when the owning object goes
// away. A bag's entries come from the pool, as the class driver's do, so the
// host's pool fault injection makes KsAddItemToObjectBag refuse.
#pragma once

#include <ks.h>

namespace host {

struct ObjectBag;

ObjectBag* CreateObjectBag();

// Frees every item, newest first, then the bag.
void FreeObjectBag(ObjectBag* bag);

// Items in the bag, for tests.
size_t ObjectBagSize(const ObjectBag* bag);

bool ObjectBagContains(ObjectBag* bag, PVOID item);

}  // namespace host
