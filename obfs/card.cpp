#include "obfs/card.h"

cCard::cCard() : own_disk_(std::make_unique<cDisk>()), disk_(own_disk_.get()), volume_(*disk_) {}

cCard::cCard(cDisk& shared_disk) : disk_(&shared_disk), volume_(shared_disk) {}

cCard& default_card() {
    static cCard the_card(default_disk());
    return the_card;
}
