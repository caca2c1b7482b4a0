// Listed models of the card readers, access control and network probes family: own code and model name, base behaviour.
// A model that gains behaviour of its own moves to its own file pair.
#ifndef QVSM_DRIVERS_CARD_CARDMODELS_H
#define QVSM_DRIVERS_CARD_CARDMODELS_H

#include "base/SMBase.h"
#include "drivers/card/SMCardA.h"
#include "drivers/card/SMNetPing.h"

QVSM_MODEL(CSMCardK, CSMBase, 3329, "QV-CARD_K")
QVSM_MODEL_NONOTE(CSMCardT, CSMBase, 3330)
QVSM_MODEL(CSMCardW, CSMBase, 3331, "QV-WEIGENG")
QVSM_MODEL(CSMCXV6V8, CSMBase, 3332, "CX-V6-V8")
QVSM_MODEL(CSMRS485reader, CSMBase, 3333, "RS485reader")
QVSM_MODEL(CSMCard20x0, CSMBase, 3334, "Card20x0")
QVSM_MODEL_NONOTE(CSMCardAK4, CSMBase, 3336)
QVSM_MODEL_NONOTE(CSMCardAH, CSMBase, 3337)
QVSM_MODEL_NONOTE(CSMCardCHD806D2, CSMBase, 3338)

#endif
