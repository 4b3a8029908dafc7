namespace NS_Tavmont {}
