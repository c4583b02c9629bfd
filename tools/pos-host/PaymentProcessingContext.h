#pragma once

// Handed to a payment plug-in's init; the stand-in host has nothing to put in it.
struct PaymentProcessingContext {
};
