// Peripheral simulation script: none of the peripherals are simulated yet.
